# End-to-end tests of norvale-render: they run the built tool on files they
# write, against the built plug-in.
file(GLOB render_test_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/render/*.cpp")
if(render_test_sources AND TARGET norvale-render)
  add_executable(render_tests ${render_test_sources})
  target_link_libraries(render_tests PRIVATE norvale_render_core GTest::gtest_main)
  target_include_directories(render_tests PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
  target_compile_definitions(render_tests PRIVATE
    NORVALE_RENDER_TOOL="$<TARGET_FILE:norvale-render>"
    NORVALE_PLUGIN_PATH="$<TARGET_FILE:norvale_module>")
  add_dependencies(render_tests norvale-render norvale_module)
  gtest_discover_tests(render_tests DISCOVERY_TIMEOUT 120)
endif()
