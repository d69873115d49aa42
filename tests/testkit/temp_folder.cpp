#include "testkit/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace kestrune::testkit {
namespace {

// Unique across test processes that run at the same time and across folders in one process.
std::filesystem::path FreshFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    const auto candidate = base / ("kestrune-test-" + std::to_string(random()) + "-" +
                                   std::to_string(counter.fetch_add(1)));
    if (std::filesystem::create_directory(candidate)) {
      return candidate;
    }
  }
}

}  // namespace

TempFolder::TempFolder() : m_folder(FreshFolder()), m_path(m_folder.make_preferred().string()) {}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(m_folder, ignored);
}

std::string TempFolder::File(std::string_view name) const {
  return (m_folder / std::filesystem::path(name).make_preferred()).string();
}

UnreadableFile::UnreadableFile(const std::string& path) {
#ifdef _WIN32
  WriteFileText(path, "locked");
  m_handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(m_handle, INVALID_HANDLE_VALUE);
#else
  EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
#endif
}

UnreadableFile::~UnreadableFile() {
#ifdef _WIN32
  CloseHandle(m_handle);
#endif
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  ASSERT_TRUE(file) << "cannot write " << path;
}

void WriteFileText(const std::string& path, std::string_view text) {
  WriteFileBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

std::string ReadFileText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return {bytes.begin(), bytes.end()};
}

}  // namespace kestrune::testkit
