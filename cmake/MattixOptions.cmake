option(MATTIX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(MATTIX_BUILD_BENCHMARKS "Build the Google Benchmark programs under bench/" ON)

# Warnings as errors for our own code; targets opt in with mattix_warnings().
function(mattix_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Wformat=2 -Werror)
endfunction()

if(MATTIX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# A static library of one layer of the module: compiled position-independent
# and hidden, linked whole into the module and directly into unit tests.
function(mattix_component target)
  add_library(${target} STATIC ${ARGN})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  mattix_warnings(${target})
endfunction()

# Unit test executable registered with CTest as one entry: a test program
# runs all its cases in one process (starting hundreds of processes under the
# sanitizers costs more than the tests), and --output-on-failure shows the
# names of the cases that failed.
find_package(GTest REQUIRED)
function(mattix_test target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gtest_main)
  mattix_warnings(${target})
  add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "MATTIX_MODULE=$<TARGET_FILE:mattix>" TIMEOUT 600)
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
