#include "backend/data_folders.h"

#include <cstdlib>

#include "platform/platform.h"

namespace kestrune {
namespace {

std::string ProgramFolder() {
  std::string folder;
  GetModuleDirectory(folder);
  return folder;
}

bool IsPortable() {
#ifdef _WIN32
  return true;
#else
  return GetPathKind((ProgramFolder() + "Infos").c_str()) == kPathDirectory;
#endif
}

// The user's folder named by `variable`, or `fallback` under the home folder; empty when neither
// is known.
std::string UserFolder(const char* variable, const char* fallback) {
  const char* set = std::getenv(variable);
  if (set != nullptr && set[0] == '/') return std::string(set) + "/kestrune/";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return {};
  return std::string(home) + "/" + fallback + "/kestrune/";
}

std::string Chosen(const char* variable, const char* fallback, const char* name) {
  const std::string user = IsPortable() ? std::string() : UserFolder(variable, fallback);
  return (user.empty() ? ProgramFolder() : user) + name;
}

}  // namespace

std::string DefaultInfosFolder() {
  return Chosen("XDG_DATA_HOME", ".local/share", "Infos");
}

std::string DefaultSimulatorFolder() {
  return Chosen("XDG_STATE_HOME", ".local/state", "simulator");
}

}  // namespace kestrune
