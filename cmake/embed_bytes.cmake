# Writes a C++ source defining the bytes of a file as an array, for data the program carries
# inside itself. Run as: cmake -DINPUT=file -DOUTPUT=source.cpp -DNAME=symbol -P embed_bytes.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.new"
  "// Made from ${INPUT} by cmake/embed_bytes.cmake; do not edit.\n"
  "#include <cstddef>\n#include <cstdint>\n\n"
  "extern const uint8_t ${NAME}[${size}];\nextern const size_t ${NAME}_size;\n"
  "const uint8_t ${NAME}[${size}] = {\n${bytes}};\n"
  "const size_t ${NAME}_size = ${size};\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
