# Writes a C++ source holding the given files' bytes:
#   cmake -DOUTPUT=<file.cpp> -DFILES=<a|b|...> -P embed_files.cmake
string(REPLACE "|" ";" FILES "${FILES}")
set(arrays "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes}};\n")
  string(APPEND table "    {\"${name}\", reinterpret_cast<const char*>(kFile${index}), sizeof kFile${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp
  "// Generated at build time from server/files; do not edit.\n"
  "#include \"server/embedded_files.h\"\n\n"
  "namespace zor {\n\nnamespace {\n${arrays}const TzorEmbeddedFile kFiles[] = {\n${table}};\n}  // namespace\n\n"
  "std::span<const TzorEmbeddedFile> EmbeddedFiles() { return kFiles; }\n\n}  // namespace zor\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
