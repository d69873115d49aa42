# The stations of the concurrency tests are ledger-load processes (native builds).
if(NOT CMAKE_CROSSCOMPILING)
  add_dependencies(${target} ledger-load)
  target_compile_definitions(${target} PRIVATE KESTRUNE_LEDGER_LOAD="$<TARGET_FILE:ledger-load>")
endif()
