#pragma once
// Terminated 8-bit text in fixed caller buffers. Every function bounds its writes by the capacity
// it is given (in characters, terminator included) and leaves a terminated result.

#include <cstdint>
#include <string>

namespace kestrune {

// The system's path limit, terminator included.
inline constexpr std::int32_t kMaxPath = 260;

// Position of the terminator within the first `capacity` characters, or `capacity` when there is
// none (0 when capacity <= 0).
std::int32_t BoundedLength(const char* text, std::int32_t capacity);

// Copies at most capacity - 1 characters and terminates; returns the number copied.
std::int32_t CopyBounded(char* destination, const char* source, std::int32_t capacity);

// Appends `text` behind the buffer's content and terminates; returns the new length. A buffer
// without a terminator inside capacity is left as it is.
std::int32_t AppendBounded(char* buffer, const char* text, std::int32_t capacity);

// Writes the folder part of `source` (up to its last "\", "/" or ":") followed by `name` into
// `destination`; returns the length. Destination and source may be the same buffer.
std::int32_t ReplaceFileName(char* destination, const char* source, const char* name,
                             std::int32_t capacity);
// The same in place on a string, limited to kMaxPath like the buffer form.
std::int32_t ReplaceFileName(std::string& path, const char* name);

// The text after the last "\", "/" or ":" of the first `length` characters of `path` (the whole
// path when there is none); `outLength` (optional) receives its length.
const char* FileNamePart(std::int32_t length, const char* path, std::int32_t* outLength);

}  // namespace kestrune
