# cmake -DINPUT=<file> -DOUTPUT=<header> -DNAME=<identifier> -P embed_file.cmake
# Writes a header that holds the bytes of INPUT as
#   inline constexpr unsigned char NAME[] = {...};
#   inline constexpr unsigned long NAME_size = ...;
cmake_minimum_required(VERSION 3.25)
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n#pragma once\n\n"
  "inline constexpr unsigned char ${NAME}[] = {\n  ${bytes}\n};\n"
  "inline constexpr unsigned long ${NAME}_size = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
