#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kestrune::fuzz {
namespace {

namespace fs = std::filesystem;

// Parallel fuzzing jobs each get their own folder.
class Scratch {
 public:
  Scratch() : m_folder(fs::temp_directory_path() / ("kestrune-fuzz-" + std::to_string(getpid()))) {
    fs::create_directories(m_folder);
    m_path = m_folder.string();
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
  }
  const std::string& Path() const { return m_path; }

 private:
  fs::path m_folder;
  std::string m_path;
};

}  // namespace

const std::string& ScratchFolder() {
  static const Scratch scratch;
  return scratch.Path();
}

std::string WriteScratchFile(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchFolder() + "/" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

void Require(bool condition, const char* promise) {
  if (condition) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

}  // namespace kestrune::fuzz
