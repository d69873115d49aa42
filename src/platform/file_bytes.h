#pragma once
// The system's part of reading a whole file: the bytes only. The buffer rules around it are the
// same everywhere and live in whole_file.cpp.

#include <cstddef>

namespace kestrune {

// Reads up to `room` bytes of the file at `path` into `bytes`; returns how many arrived (0 when
// the file cannot be opened).
std::size_t ReadFileBytes(const char* path, char* bytes, std::size_t room);

}  // namespace kestrune
