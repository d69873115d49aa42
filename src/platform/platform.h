#pragma once
// Files and the running program, one header over the POSIX and Win32 sources. Paths are 8-bit
// text: the ANSI code page on Windows, the file system's bytes elsewhere. On POSIX there are no
// drives: "/" is the root.

#include <cstdint>
#include <string>

namespace kestrune {

// What a path names.
enum PathKind : std::int32_t {
  kPathMissing = 0,    // nothing, or a drive that is not present
  kPathFile = 1,       // anything that is not a folder
  kPathDirectory = 2,  // a folder
  kPathDriveRoot = 3,  // the root of a drive ("C:\", "C:" in the drive's root; "/")
};
PathKind GetPathKind(const char* path);

// Size in bytes of the file that the path names, whole (a file of 4 GiB or more keeps its high
// bits); -1 when there is none or the path names a folder.
std::int64_t GetPlainFileSize(const char* path);

// A whole file mapped read-only while the object lives. Other programs may read the file but not
// write it meanwhile (where the system can enforce that). Empty files, files of 4 GiB or more and
// anything that is not a plain file are not mapped.
class ReadOnlyFileMapping {
 public:
  explicit ReadOnlyFileMapping(const char* path);
  ~ReadOnlyFileMapping();
  ReadOnlyFileMapping(const ReadOnlyFileMapping&) = delete;
  ReadOnlyFileMapping& operator=(const ReadOnlyFileMapping&) = delete;

  bool IsMapped() const { return m_data != nullptr; }
  const std::uint8_t* Data() const { return m_data; }
  std::uint32_t Size() const { return m_size; }

 private:
  const std::uint8_t* m_data = nullptr;
  std::uint32_t m_size = 0;
  std::intptr_t m_file = -1;
  std::intptr_t m_mapping = 0;
};

// Reads at most capacity - 2 bytes of the file into `buffer` and puts two zero bytes behind them,
// so the content also works as an 8-bit or 16-bit terminated text. Returns the bytes read; 0 (and
// two zero bytes) when the file cannot be opened or read. Capacity 1 only empties the buffer;
// capacity < 1 writes nothing.
std::int32_t ReadWholeFile(const char* path, void* buffer, std::int32_t capacity);

// Results of CreateDirectoryPath.
inline constexpr std::int32_t kFolderFailed = 0;
inline constexpr std::int32_t kFolderCreated = 1;
inline constexpr std::int32_t kFolderPresent = 2;  // also for a drive root or a network share
// Creates every missing folder of the path.
std::int32_t CreateDirectoryPath(const char* path);

// Full path of the running executable; on failure (or when it does not fit) the buffer is made
// empty (capacity >= 1) and 0 is returned.
std::int32_t GetModulePath(char* buffer, std::int32_t capacity);
// The executable's folder with its trailing separator.
std::int32_t GetModuleDirectory(char* buffer, std::int32_t capacity);
// The same into strings (at most kMaxPath - 1 characters); both return the length.
std::int32_t GetModulePath(std::string& path);
std::int32_t GetModuleDirectory(std::string& folder);

// This machine's name on the network (8-bit text); empty when the system does not tell.
std::string GetHostName();

}  // namespace kestrune
