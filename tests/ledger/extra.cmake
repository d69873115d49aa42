# The stations of the concurrency tests are ledger-load processes, or the program itself on
# simulated devices (native builds).
if(NOT CMAKE_CROSSCOMPILING)
  add_dependencies(${target} ledger-load kestrune sample-firmware)
  target_compile_definitions(${target} PRIVATE KESTRUNE_LEDGER_LOAD="$<TARGET_FILE:ledger-load>"
    KESTRUNE_PROGRAM="$<TARGET_FILE:kestrune>"
    KESTRUNE_SAMPLE_FIRMWARE="$<TARGET_FILE_DIR:kestrune>/sample-firmware.bin")
endif()
# Eight stations of real commands on each store take a while on a busy machine.
set_tests_properties(${name} PROPERTIES TIMEOUT 1200)
