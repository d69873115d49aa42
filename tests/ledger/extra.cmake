# The stations of the concurrency tests are ledger-load processes, or the program itself on
# simulated devices (native builds).
if(NOT CMAKE_CROSSCOMPILING)
  add_dependencies(${target} ledger-load kestrune sample-firmware)
  target_compile_definitions(${target} PRIVATE KESTRUNE_LEDGER_LOAD="$<TARGET_FILE:ledger-load>"
    KESTRUNE_PROGRAM="$<TARGET_FILE:kestrune>"
    KESTRUNE_SAMPLE_FIRMWARE="$<TARGET_FILE_DIR:kestrune>/sample-firmware.bin")
endif()
