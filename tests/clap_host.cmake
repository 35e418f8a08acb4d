# End-to-end tests of the built plug-in file, driven through the CLAP ABI only:
# the program dlopens the bundle and never links the plug-in code.
file(GLOB clap_host_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/clap_host/*.cpp")
if(clap_host_sources AND TARGET norvale_module)
  add_executable(clap_host_tests ${clap_host_sources})
  target_link_libraries(clap_host_tests PRIVATE norvale_clap_abi GTest::gtest_main ${CMAKE_DL_LIBS})
  target_compile_definitions(clap_host_tests PRIVATE
    NORVALE_CLAP_PATH="$<TARGET_FILE:norvale_module>")
  add_dependencies(clap_host_tests norvale_module)
  gtest_discover_tests(clap_host_tests DISCOVERY_TIMEOUT 120)
endif()
