#pragma once
// The firmware path history in the registry: the multi-string value "PathList" under
// HKEY_CURRENT_USER "Software\Quorvel\Kestrune". Its first entry is marked with 0x02 and holds
// the path that was in the box; the box's list follows, then the empty string.

#include <optional>
#include <string>

#include "app/front_end_services.h"

namespace kestrune::win32 {

class RegistryPathHistory final : public PathHistoryStore {
 public:
  // `keyPath` below HKEY_CURRENT_USER (tests use their own key).
  explicit RegistryPathHistory(std::string keyPath = "Software\\Quorvel\\Kestrune")
      : m_keyPath(std::move(keyPath)) {}

  // A value that is missing, of another type, empty or too large gives nothing.
  std::optional<PathHistory> Load() override;
  bool Save(const PathHistory& history) override;

 private:
  std::string m_keyPath;
};

}  // namespace kestrune::win32
