# cmake -DIN=file -DOUT=file.cpp -P embed.cmake: the file's bytes as a C++ array.
file(READ ${IN} _hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
file(WRITE ${OUT}
  "// Generated from default-config.json; do not edit.\n"
  "#include <cstddef>\n"
  "namespace clisitef_sim {\n"
  "extern const unsigned char kDefaultConfig[] = {${_bytes} 0};\n"
  "extern const std::size_t kDefaultConfigSize = sizeof(kDefaultConfig) - 1;\n"
  "}  // namespace clisitef_sim\n")
