# cmake -DROOT=<folder> -DFORBIDDEN=<include prefix> -P check_no_includes.cmake
#
# Checks that no file below ROOT includes a header of the FORBIDDEN
# subsystem (the storage engine must not depend on the SQL engine).
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/*.h" "${ROOT}/*.cpp")
set(failures 0)
foreach(file IN LISTS files)
  file(STRINGS "${ROOT}/${file}" includes REGEX "^#include \"${FORBIDDEN}/")
  foreach(line IN LISTS includes)
    message(SEND_ERROR "${file}: ${line}")
    math(EXPR failures "${failures} + 1")
  endforeach()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} include(s) of ${FORBIDDEN}/")
endif()
message(STATUS "no file includes ${FORBIDDEN}/")
