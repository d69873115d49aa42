#pragma once
// Files for tests: a fresh folder that is removed with everything in it when the test ends, and
// writing bytes or text to a file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::testkit {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder in the system's form (backslashes on Windows), without a trailing separator.
  const std::string& Path() const { return m_path; }
  // `name` inside the folder; `name` may use '/' for subfolders.
  std::string File(std::string_view name) const;

 private:
  std::filesystem::path m_folder;
  std::string m_path;
};

// A file that exists but cannot be read while the object lives: held open for writing without
// sharing on Windows, a named pipe elsewhere (tests may run as root, who reads any plain file).
class UnreadableFile {
 public:
  explicit UnreadableFile(const std::string& path);
  ~UnreadableFile();
  UnreadableFile(const UnreadableFile&) = delete;
  UnreadableFile& operator=(const UnreadableFile&) = delete;

 private:
  void* m_handle = nullptr;
};

// Writes the bytes to the file, replacing it; fails the current test when that is impossible.
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteFileText(const std::string& path, std::string_view text);
// The whole file, or nothing when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);

}  // namespace kestrune::testkit
