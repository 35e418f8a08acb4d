# The plug-in shared object and its two bundles. One object carries every
# subsystem; only the plug-in entry points are exported.
set(NORVALE_EXPORTS "${CMAKE_CURRENT_SOURCE_DIR}/cmake/exports.map")

add_library(norvale_module MODULE "${CMAKE_CURRENT_SOURCE_DIR}/cmake/module_anchor.cpp")
target_link_libraries(norvale_module PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,norvale_plugin>")
target_link_options(norvale_module PRIVATE "-Wl,--version-script=${NORVALE_EXPORTS}")
if(NOT NORVALE_SANITIZE AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  # The sanitizer runtimes resolve only once loaded into a host.
  target_link_options(norvale_module PRIVATE -Wl,-z,defs)
endif()
set_target_properties(norvale_module PROPERTIES
  OUTPUT_NAME Norvale PREFIX "" SUFFIX ".clap"
  LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bundles"
  LINK_DEPENDS "${NORVALE_EXPORTS}")

# The VST 3 adapter lives in the same object; its bundle carries a copy of it.
target_link_libraries(norvale_module PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,norvale_wrapper>")
set(NORVALE_VST3_BUNDLE "${CMAKE_BINARY_DIR}/bundles/Norvale.vst3")
add_custom_command(TARGET norvale_module POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory "${NORVALE_VST3_BUNDLE}/Contents/x86_64-linux"
  COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:norvale_module>"
          "${NORVALE_VST3_BUNDLE}/Contents/x86_64-linux/Norvale.so"
  VERBATIM)
