# Test programs, and the fixtures several of them share.
#   nvx_add_test(NAME name SOURCES ... LIBS ... [THREADING] [LABELS ...] [ENV ...])
#     one test program, registered with CTest under its name;
#   nvx_add_test_library(NAME name SOURCES ... LIBS ...)
#     fixtures compiled once into a static library that the test programs link.
# THREADING marks tests of the worker and its handshakes: the ThreadSanitizer build
# compiles and runs only those. The target nvx_tests builds every test program of the
# build and the programs they start: the sanitizer presets build that target alone.
#
# Test code (not the product code it links) compiles without optimisation in every build
# type, and takes gtest's header from one precompiled header: a test file's EXPECT macros
# cost far more to optimise than the product's files, and gtest's header is most of its
# parse. NVX_TEST_PRECOMPILED_HEADER=OFF compiles every test file on its own.
find_package(GTest REQUIRED)
option(NVX_TEST_PRECOMPILED_HEADER "Test code includes gtest through a precompiled header" ON)

add_custom_target(nvx_tests)

# ccache caches a compilation that uses a precompiled header only when told that the
# header's macros and time stamps may be trusted (its manual, "Precompiled headers").
set(nvx_test_launcher "${CMAKE_CXX_COMPILER_LAUNCHER}")
if(NVX_TEST_PRECOMPILED_HEADER AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
  set(nvx_test_launcher
      env "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
      ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

# The flags of all test code. They are the same for every test target (position-independent
# code as Qt requires, no optimisation), so that one precompiled header, built by the
# target nvx_test_pch (tests/support/), serves them all.
function(nvx_test_code target)
  nvx_warnings(${target})
  target_compile_options(${target} PRIVATE -O0 -fPIC)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC GTest::gtest)
  if(NVX_TEST_PRECOMPILED_HEADER)
    if(target STREQUAL "nvx_test_pch")
      target_precompile_headers(${target} PRIVATE <gtest/gtest.h>)
      if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        target_compile_options(${target} PRIVATE -Xclang -fno-pch-timestamp)
      endif()
    else()
      target_precompile_headers(${target} REUSE_FROM nvx_test_pch)
    endif()
    set_property(TARGET ${target} PROPERTY CXX_COMPILER_LAUNCHER "${nvx_test_launcher}")
  endif()
endfunction()

function(nvx_add_test_library)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_library(${T_NAME} STATIC EXCLUDE_FROM_ALL ${T_SOURCES})
  nvx_test_code(${T_NAME})
  target_link_libraries(${T_NAME} PUBLIC ${T_LIBS} nvx_test_support)
endfunction()

function(nvx_add_test)
  cmake_parse_arguments(T "THREADING" "NAME" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NVX_THREADING_TESTS_ONLY AND NOT T_THREADING)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  nvx_test_code(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} nvx_test_support GTest::gtest_main)
  add_dependencies(nvx_tests ${T_NAME})
  set(labels ${T_LABELS})
  if(T_THREADING)
    list(APPEND labels threading)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  # NVX_SERVER points the library's default servers at a closed loopback port, so that
  # no test ever reaches for the service's real host names.
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT 600
                       ENVIRONMENT "NVX_BUILD_DIR=${CMAKE_BINARY_DIR};NVX_SERVER=127.0.0.1:9;${T_ENV}")
endfunction()
