# kelvane_add_test(<module> SOURCES ... LIBS ...)
# One GoogleTest executable per module, its cases discovered into CTest with the module's label.
function(kelvane_add_test module)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    return()  # a module whose tests are not written yet
  endif()
  set(target test_${module})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock
                                          kelvane_options)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Where tests find built programs and source data.
  target_compile_definitions(${target} PRIVATE KELVANE_BUILD_DIR="${PROJECT_BINARY_DIR}"
                                               KELVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${target}
    PROPERTIES LABELS ${module}
    ENVIRONMENT QT_QPA_PLATFORM=offscreen
    DISCOVERY_TIMEOUT 60)
endfunction()
