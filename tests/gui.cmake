# The editor's tests under a virtual X server that the test command starts
# itself, so nothing needs to run beforehand. One ctest entry for the program.
file(GLOB gui_test_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/gui/*.cpp")
find_program(XVFB_RUN xvfb-run)
if(gui_test_sources AND XVFB_RUN)
  pkg_check_modules(NORVALE_XTEST REQUIRED IMPORTED_TARGET xtst)
  add_executable(gui_tests ${gui_test_sources} "${CMAKE_CURRENT_SOURCE_DIR}/clap_host/test_host.cpp")
  target_link_libraries(gui_tests PRIVATE norvale_plugin PkgConfig::NORVALE_XTEST GTest::gtest_main
                        ${CMAKE_DL_LIBS})
  target_include_directories(gui_tests PRIVATE "${CMAKE_SOURCE_DIR}")
  add_test(NAME gui_tests
           COMMAND ${XVFB_RUN} -a -s "-noreset -screen 0 2900x1800x24" $<TARGET_FILE:gui_tests>)
  # xvfb-run -a picks its display number racily: one virtual server at a time.
  set_tests_properties(gui_tests PROPERTIES RESOURCE_LOCK xvfb ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp:print_suppressions=0")
endif()
