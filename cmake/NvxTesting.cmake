# One helper registers a test program with CTest.
#   nvx_add_test(NAME name SOURCES ... LIBS ... [THREADING] [LABELS ...] [ENV ...])
# THREADING marks tests of the worker and its handshakes: the ThreadSanitizer build
# compiles and runs only those.
find_package(GTest REQUIRED)

function(nvx_add_test)
  cmake_parse_arguments(T "THREADING" "NAME" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NVX_THREADING_TESTS_ONLY AND NOT T_THREADING)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  nvx_warnings(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} nvx_test_support GTest::gtest GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
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
