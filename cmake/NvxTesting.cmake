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
  set(labels ${T_LABELS})
  if(T_THREADING)
    list(APPEND labels threading)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT 600
                       ENVIRONMENT "NVX_BUILD_DIR=${CMAKE_BINARY_DIR};${T_ENV}")
endfunction()
