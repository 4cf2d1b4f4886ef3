option(MATTIX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(MATTIX_BUILD_BENCHMARKS "Build the Google Benchmark programs under bench/" ON)

# Warnings as errors for our own code; targets opt in with mattix_warnings().
function(mattix_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Wformat=2 -Werror)
endfunction()

option(MATTIX_TSAN "Build with ThreadSanitizer (clang; its static runtime)" OFF)

# Shared libraries refuse undefined symbols, except under ThreadSanitizer:
# its runtime is linked statically into the executables only, and the
# libraries' references to it are resolved when they are loaded.
set(MATTIX_NO_UNDEFINED -Wl,--no-undefined)
if(MATTIX_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  set(MATTIX_NO_UNDEFINED)
endif()

if(MATTIX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Each target exports only its own folder. A build-tree folder per target
# holds a link to the target's source folder (or, with FILES, to the headers
# named), and that folder alone is the target's include directory: so
# #include "key/Mattix2.h" compiles only in targets that link mattix_key, and
# a layer that includes what it does not link fails to build.
#   mattix_export(target folder [FILES header...])
function(mattix_export target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "FILES")
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  if(arg_FILES)
    set(links)
    foreach(file IN LISTS arg_FILES)
      list(APPEND links ${folder}/${file})
    endforeach()
  else()
    set(links ${folder})
  endif()
  foreach(link IN LISTS links)
    get_filename_component(parent ${root}/${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(REMOVE ${root}/${link})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${link} ${root}/${link} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# A static library of one layer of the module, named after the folder it is
# declared in: compiled position-independent and hidden; its objects make up
# the module, and unit tests link the library directly.
function(mattix_component target)
  add_library(${target} STATIC ${ARGN})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  mattix_export(${target} ${folder})
  mattix_warnings(${target})
endfunction()

# Unit test executable registered with CTest as one entry: a test program
# runs all its cases in one process (starting hundreds of processes under the
# sanitizers costs more than the tests), and --output-on-failure shows the
# names of the cases that failed.
find_package(GTest REQUIRED)
function(mattix_test target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gtest_main mattix_test_support)
  # The code under test is the libraries', built as configured; the test
  # programs' own code is optimised less in Release (a third less time to
  # compile than at -O2).
  target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-O1>)
  # A program's test files compile as one (GoogleTest's and the standard
  # library's headers read once a program, not once a file).
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
  mattix_warnings(${target})
  add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "MATTIX_MODULE=$<TARGET_FILE:mattix>" TIMEOUT 600)
endfunction()

# A libFuzzer target, built with clang and -DMATTIX_FUZZ=ON only (how to
# build and run one: tests/pixmill/CMakeLists.txt): its sources, then LIBS
# and the libraries it links.
option(MATTIX_FUZZ "Build the libFuzzer targets (clang)" OFF)
function(mattix_fuzz target)
  if(NOT (MATTIX_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang"))
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBS")
  add_executable(${target} ${arg_UNPARSED_ARGUMENTS})
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${target} PRIVATE mattix_test_support ${arg_LIBS})
  mattix_warnings(${target})
endfunction()

# Release stays at -O2: GCC 12 at -O3 raises false -Wrestrict errors inside
# std::string, and the kernels are written for -O2 with explicit intrinsics.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "" FORCE)
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "" FORCE)

# Rebuilds of the same sources in other checkouts hit the compiler cache:
# paths under the source folder are hashed relative to the build folder.
find_program(MATTIX_CCACHE ccache)
if(MATTIX_CCACHE)
  set(CMAKE_CXX_COMPILER_LAUNCHER
      ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} ${MATTIX_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()
