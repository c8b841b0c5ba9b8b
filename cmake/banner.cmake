# banner_library(NAME [RECURSE] [DEPS lib...])
# Builds one static library from every *.cpp in the calling folder (with
# RECURSE, in its subfolders too), except the tests (*_test.cpp) and fuzz
# targets (*_fuzz.cpp). The tests go into one GoogleTest program NAME_tests,
# registered with CTest.
function(banner_library name)
  cmake_parse_arguments(ARG "RECURSE" "" "DEPS;TEST_DEPS" ${ARGN})
  set(glob GLOB)
  if(ARG_RECURSE)
    set(glob GLOB_RECURSE)
  endif()
  file(${glob} sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "(_test|_fuzz|_testmain)\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()

  file(${glob} tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(tests)
    add_executable(${name}_tests ${tests})
    target_link_libraries(${name}_tests PRIVATE ${name} ${ARG_TEST_DEPS} GTest::gtest_main)
    gtest_discover_tests(${name}_tests
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 600)
  endif()
endfunction()

# banner_fuzzer(NAME SOURCE DEPS...): a libFuzzer target, built only with BANNER_FUZZ.
function(banner_fuzzer name source)
  if(BANNER_FUZZ)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${ARGN})
  endif()
endfunction()
