# Compares our CLAP declarations under NORVALE_CLAP_INCLUDE_DIR with the
# reference layouts kept in shared/ beside the repository (read-only in CI).
get_filename_component(NORVALE_CLAP_ABI_REFERENCE "${CMAKE_SOURCE_DIR}/../shared/clap-abi" ABSOLUTE)
find_program(PYTHON3 python3)

# A missing reference or interpreter shows up as a skipped test with the
# reason, never as a pass.
set(norvale_abi_skip_reason "")
if(NOT EXISTS "${NORVALE_CLAP_ABI_REFERENCE}/check")
  set(norvale_abi_skip_reason "CLAP ABI reference not found at ${NORVALE_CLAP_ABI_REFERENCE}")
elseif(NOT PYTHON3)
  set(norvale_abi_skip_reason "python3 not found, needed by ${NORVALE_CLAP_ABI_REFERENCE}/check")
endif()

if(norvale_abi_skip_reason STREQUAL "")
  add_test(NAME clap_abi_matches_reference
           COMMAND "${PYTHON3}" "${NORVALE_CLAP_ABI_REFERENCE}/check" "${NORVALE_CLAP_INCLUDE_DIR}"
                   --require-file "${NORVALE_CLAP_ABI_REFERENCE}/required.txt")
else()
  message(WARNING "clap_abi_matches_reference will be skipped: ${norvale_abi_skip_reason}")
  add_test(NAME clap_abi_matches_reference
           COMMAND sh -c "echo 'skipped: ${norvale_abi_skip_reason}'; exit 77")
  set_tests_properties(clap_abi_matches_reference PROPERTIES SKIP_RETURN_CODE 77)
endif()
