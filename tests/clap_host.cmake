# End-to-end tests of the built plug-in file, driven through the CLAP ABI only:
# the program dlopens the bundle and never links the plug-in code; it links
# the parameter table and the state codec to build what it feeds in.
file(GLOB clap_host_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/clap_host/*.cpp")
if(clap_host_sources AND TARGET norvale_module)
  add_executable(clap_host_tests ${clap_host_sources})
  target_link_libraries(clap_host_tests PRIVATE norvale_presets GTest::gtest_main ${CMAKE_DL_LIBS})
  target_compile_definitions(clap_host_tests PRIVATE
    NORVALE_CLAP_PATH="$<TARGET_FILE:norvale_module>")
  add_dependencies(clap_host_tests norvale_module)
  gtest_discover_tests(clap_host_tests DISCOVERY_TIMEOUT 120)
endif()

# The in-process plug-in tests drive the object through the same test host.
if(TARGET plugin_tests)
  target_sources(plugin_tests PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/clap_host/test_host.cpp")
  target_link_libraries(plugin_tests PRIVATE ${CMAKE_DL_LIBS})
endif()

# The CLAP ecosystem's validator over the built file. It lives beside the
# repository in shared/; without it the test shows as skipped, never passed.
get_filename_component(NORVALE_VALIDATORS "${CMAKE_SOURCE_DIR}/../shared/validators" ABSOLUTE)
set(norvale_validator_skip "")
if(NOT EXISTS "${NORVALE_VALIDATORS}/clap-validator")
  set(norvale_validator_skip "clap-validator not found in ${NORVALE_VALIDATORS}")
elseif(NOT TARGET norvale_module)
  set(norvale_validator_skip "the plug-in file is not built")
endif()
if(norvale_validator_skip STREQUAL "")
  add_test(NAME clap_validator
           COMMAND "${NORVALE_VALIDATORS}/clap-validator" validate --only-failed
                   "$<TARGET_FILE:norvale_module>")
  if(NORVALE_SANITIZE)
    # A sanitizer build of the plug-in needs its runtimes loaded first into the
    # validator, which is not built with them; its own leaks are not ours.
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE norvale_asan OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libubsan.so
                    OUTPUT_VARIABLE norvale_ubsan OUTPUT_STRIP_TRAILING_WHITESPACE)
    set_tests_properties(clap_validator PROPERTIES ENVIRONMENT
      "LD_PRELOAD=${norvale_asan}:${norvale_ubsan};ASAN_OPTIONS=detect_leaks=0")
  endif()
else()
  add_test(NAME clap_validator COMMAND sh -c "echo 'skipped: ${norvale_validator_skip}'; exit 77")
  set_tests_properties(clap_validator PROPERTIES SKIP_RETURN_CODE 77)
endif()
