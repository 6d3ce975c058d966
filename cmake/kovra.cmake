# Shared helpers of the build.

# kovra_gtest(NAME SOURCES... [LIBS libs...]): a GoogleTest program under CTest.
find_package(GTest QUIET)
find_package(Threads REQUIRED)
function(kovra_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    KOVRA_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KOVRA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# The fuzzing build (KOVRA_FUZZ, clang only): every unit is instrumented for
# libFuzzer's coverage and checked by AddressSanitizer and
# UndefinedBehaviorSanitizer; the fuzz targets in tests/fuzz add libFuzzer.
if(KOVRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KOVRA_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
