# The built-in presets are the files of presets/factory, embedded into the
# plug-in as string literals in a generated source, in the order listed here
# (the order of the editor's list; the file name is the load key).
set(NORVALE_FACTORY_PRESETS
  bended_duck crush_steps drive_pump filter_wobble gated_stabs
  half_speed_stop kick_duck live_stutter pan_steps sidechain_duck)

if(CMAKE_SCRIPT_MODE_FILE)
  # Script mode: OUT is the source to write, DIR the folder of the files.
  set(body "")
  foreach(key IN LISTS NORVALE_FACTORY_PRESETS)
    file(READ "${DIR}/${key}.norvale" text)
    string(FIND "${text}" ")norvale\"" clash)
    string(FIND "${text}" "\r" cr)
    if(NOT clash EQUAL -1 OR NOT cr EQUAL -1)
      message(FATAL_ERROR "${key}.norvale cannot be embedded as a raw string")
    endif()
    string(APPEND body "    {\"${key}\", R\"norvale(${text})norvale\"},\n")
  endforeach()
  file(WRITE "${OUT}.tmp"
    "// Generated from presets/factory by cmake/FactoryPresets.cmake; do not edit.\n"
    "#include \"presets/preset_format.h\"\n\n"
    "namespace norvale {\n\n"
    "const std::array<plugincore::BuiltinPreset, kBuiltinPresetCount> kBuiltinPresets = {{\n"
    "${body}}};\n\n"
    "}  // namespace norvale\n")
  file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
  return()
endif()

get_filename_component(norvale_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(norvale_factory_files "")
foreach(key IN LISTS NORVALE_FACTORY_PRESETS)
  list(APPEND norvale_factory_files "${norvale_root}/presets/factory/${key}.norvale")
endforeach()
set(norvale_factory_source "${CMAKE_CURRENT_BINARY_DIR}/generated/factory_presets.cpp")
add_custom_command(
  OUTPUT "${norvale_factory_source}"
  COMMAND ${CMAKE_COMMAND} "-DOUT=${norvale_factory_source}"
          "-DDIR=${norvale_root}/presets/factory"
          -P "${norvale_root}/cmake/FactoryPresets.cmake"
  DEPENDS ${norvale_factory_files} "${norvale_root}/cmake/FactoryPresets.cmake"
  COMMENT "Embedding the factory presets"
  VERBATIM)
target_sources(norvale_presets PRIVATE "${norvale_factory_source}")
