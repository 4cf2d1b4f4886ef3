#pragma once
// The keyer page's files (keyer.html, keyer.js, keyer.css), embedded into
// the program at build time from host/serve/ (EmbedFiles.cmake writes the
// definition), so that the page needs no file beside the program and no
// network.
#include <cstddef>
#include <span>
#include <string_view>

namespace mattix::serve {

struct PageFile {
  const char* name;  // the file's name, "keyer.js"
  const unsigned char* data;
  std::size_t size;

  std::string_view Text() const { return {reinterpret_cast<const char*>(data), size}; }
};

std::span<const PageFile> PageFiles();

}  // namespace mattix::serve
