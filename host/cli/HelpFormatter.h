#pragma once
// CLI11's help with every description flowed to the terminal's usual width:
// an option's or command's text is one paragraph (line breaks in it are
// spaces), wrapped beside the names' column so that no line runs past
// kHelpWidth. Footers are laid out by hand and left alone.
#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>

namespace mattix::cli {

inline constexpr std::size_t kHelpWidth = 100;
// A command's own description above its usage, as wide as the footers.
inline constexpr std::size_t kParagraphWidth = 80;

// `text`'s words, greedily filled into lines of at most `width` characters
// (a longer word has a line of its own), joined by '\n'.
std::string FlowText(const std::string& text, std::size_t width);

class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_desc(const CLI::Option* option) const override;
  std::string make_subcommand(const CLI::App* sub) const override;
  std::string make_description(const CLI::App* app) const override;
};

}  // namespace mattix::cli
