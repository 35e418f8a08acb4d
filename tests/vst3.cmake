# The VST 3 face of the built bundle, driven by a small VST 3 host that
# dlopens it; the edit queue and the text conversion on their own
# (ThreadSanitizer picks the program by label); Steinberg's validator on the
# bundle folder.
if(NOT TARGET norvale_module OR NOT TARGET norvale_vst3_sdk)
  return()
endif()
find_package(X11 REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(Threads REQUIRED)
find_program(XVFB_RUN xvfb-run)

file(GLOB vst3_test_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/vst3/*.cpp")
list(REMOVE_ITEM vst3_test_sources "${CMAKE_CURRENT_SOURCE_DIR}/vst3/edit_queue_test.cpp"
                                   "${CMAKE_CURRENT_SOURCE_DIR}/vst3/utf_test.cpp")
add_executable(vst3_tests ${vst3_test_sources} "${PROJECT_SOURCE_DIR}/wrapper/iids.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/clap_host/test_host.cpp"
  "${NORVALE_VST3_SDK}/public.sdk/source/common/memorystream.cpp")
target_include_directories(vst3_tests PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}")
target_link_libraries(vst3_tests PRIVATE norvale_vst3_sdk norvale_presets X11::X11 X11::Xtst
  OpenSSL::Crypto GTest::gtest_main ${CMAKE_DL_LIBS})
target_compile_definitions(vst3_tests PRIVATE
  NORVALE_VST3_SO="${NORVALE_VST3_BUNDLE}/Contents/x86_64-linux/Norvale.so")
add_dependencies(vst3_tests norvale_module)
gtest_discover_tests(vst3_tests TEST_FILTER "-View.*" DISCOVERY_TIMEOUT 120)
# The editor's first size depends on the screen: a desktop one for every view
# test, and a laptop one for the first open.
if(XVFB_RUN)
  add_test(NAME vst3_view COMMAND "${XVFB_RUN}" -a -s "-noreset -screen 0 1920x1200x24"
                                  $<TARGET_FILE:vst3_tests> --gtest_filter=View.*)
  add_test(NAME vst3_view_laptop COMMAND "${XVFB_RUN}" -a -s "-noreset -screen 0 1366x768x24"
                                         $<TARGET_FILE:vst3_tests> --gtest_filter=View.FirstOpen*)
else()
  add_test(NAME vst3_view COMMAND sh -c "echo 'skipped: xvfb-run not found'; exit 77")
  add_test(NAME vst3_view_laptop COMMAND sh -c "echo 'skipped: xvfb-run not found'; exit 77")
endif()
set_tests_properties(vst3_view vst3_view_laptop PROPERTIES RESOURCE_LOCK xvfb SKIP_RETURN_CODE 77
                     SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]" ENVIRONMENT
  "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp:print_suppressions=0")

add_executable(vst3_queue_tests "${CMAKE_CURRENT_SOURCE_DIR}/vst3/edit_queue_test.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/vst3/utf_test.cpp" "${PROJECT_SOURCE_DIR}/wrapper/utf.cpp")
target_include_directories(vst3_queue_tests PRIVATE "${PROJECT_SOURCE_DIR}")
target_link_libraries(vst3_queue_tests PRIVATE GTest::gtest_main Threads::Threads)
gtest_discover_tests(vst3_queue_tests PROPERTIES LABELS threads DISCOVERY_TIMEOUT 120)

get_filename_component(NORVALE_VALIDATORS "${CMAKE_SOURCE_DIR}/../shared/validators" ABSOLUTE)
foreach(mode plain extensive)
  set(flags "")
  if(mode STREQUAL "extensive")
    set(flags -e)
  endif()
  if(NORVALE_SANITIZE)
    # The validator cannot load an object that needs the sanitizer runtimes.
    add_test(NAME vst3_validator_${mode}
             COMMAND sh -c "echo 'skipped: sanitizer build, run the default preset'; exit 77")
    set_tests_properties(vst3_validator_${mode} PROPERTIES SKIP_RETURN_CODE 77)
  elseif(EXISTS "${NORVALE_VALIDATORS}/vst3-validator")
    add_test(NAME vst3_validator_${mode}
             COMMAND "${NORVALE_VALIDATORS}/vst3-validator" ${flags} "${NORVALE_VST3_BUNDLE}")
    set_tests_properties(vst3_validator_${mode} PROPERTIES
      FAIL_REGULAR_EXPRESSION "[1-9][0-9]* tests failed")
  else()
    add_test(NAME vst3_validator_${mode}
             COMMAND sh -c "echo 'skipped: no validator at ${NORVALE_VALIDATORS}'; exit 77")
    set_tests_properties(vst3_validator_${mode} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endforeach()
