# Writes OUTPUT, a C++ source that defines PageFiles() (PageFiles.h): the
# bytes of each of FILES (a ;-list of paths) under its file name. Run as
#   cmake -DOUTPUT=PageData.cpp "-DFILES=a.html;b.js" -P EmbedFiles.cmake
set(arrays "")
set(entries "")
set(index 0)
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  file(READ ${file} hex HEX)
  file(SIZE ${file} size)
  # Two hex digits a byte, 24 bytes a line.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x..," 24 line)
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "const unsigned char k${index}[] = {\n    ${bytes}};\n")
  string(APPEND entries "    {\"${name}\", k${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new
  "// Generated from the page's files by host/serve/EmbedFiles.cmake.\n"
  "#include \"host/serve/PageFiles.h\"\n\n"
  "namespace mattix::serve {\n\nnamespace {\n\n${arrays}\n"
  "const PageFile kFiles[] = {\n${entries}};\n\n}  // namespace\n\n"
  "std::span<const PageFile> PageFiles() { return kFiles; }\n\n"
  "}  // namespace mattix::serve\n")
# Rewritten only when it changed, so that an unchanged page compiles nothing.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
