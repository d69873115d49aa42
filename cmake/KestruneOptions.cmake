# Compiler settings shared by every target of our own (third-party code is left alone).
# Warnings are errors in the presets and CI; a plain build (another compiler, another optimisation
# level, with its false alarms) must not fail on a warning.
option(KESTRUNE_WERROR "Treat warnings as errors" OFF)
add_library(kestrune_options INTERFACE)
# C++ only: the resource compiler of the Windows build takes none of these.
set(KESTRUNE_WARNINGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor)
target_compile_options(kestrune_options INTERFACE "$<$<COMPILE_LANGUAGE:CXX>:${KESTRUNE_WARNINGS}>")
if(KESTRUNE_FUZZ)
  # Coverage for libFuzzer in every library. Clang writes string literals only as UTF-8: the fuzz
  # build keeps them so, and its cp1252 target checks the conversions instead.
  # Clang also warns of private fields that only the other system's sources use.
  target_compile_options(kestrune_options INTERFACE -fsanitize=fuzzer-no-link
    -Wno-unused-private-field)
else()
  # All program text is Windows-1252, on every platform.
  target_compile_options(kestrune_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=CP1252>)
endif()
if(KESTRUNE_WERROR)
  target_compile_options(kestrune_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Werror>)
endif()
if(WIN32)
  target_compile_definitions(kestrune_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_options(kestrune_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()

set(KESTRUNE_SANITIZE "" CACHE STRING "Sanitizers for the native build: address,undefined or thread")
if(KESTRUNE_SANITIZE)
  target_compile_options(kestrune_options INTERFACE -fsanitize=${KESTRUNE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(kestrune_options INTERFACE -fsanitize=${KESTRUNE_SANITIZE})
endif()
