#include "win32/registry_path_history.h"

#include <string_view>
#include <vector>

#include "win32/registry_key.h"

namespace kestrune::win32 {
namespace {

constexpr const char* kValueName = "PathList";
constexpr char kCurrentMark = '\x02';

}  // namespace

std::optional<PathHistory> RegistryPathHistory::Load() {
  RegistryKey key;
  std::vector<char> data;
  if (!key.Open(HKEY_CURRENT_USER, m_keyPath.c_str(), RegistryKey::kReadOnly) ||
      !key.QueryValue(data, kValueName, REG_MULTI_SZ)) {
    return std::nullopt;
  }
  PathHistory history;
  // Read as terminated: the strings up to the first empty one.
  std::string_view rest(data.data(), key.DataSize());
  bool first = true;
  while (!rest.empty() && rest.front() != '\0') {
    const std::string_view entry = rest.substr(0, rest.find('\0'));
    rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
    if (first && entry.front() == kCurrentMark) {
      history.current = std::string(entry.substr(1));
    } else {
      history.items.emplace_back(entry);
    }
    first = false;
  }
  if (!history.current && history.items.empty()) return std::nullopt;
  return history;
}

bool RegistryPathHistory::Save(const PathHistory& history) {
  std::string list;
  if (history.current) list += kCurrentMark + *history.current + '\0';
  for (const std::string& item : history.items) {
    if (!item.empty()) list += item + '\0';
  }
  list += '\0';
  RegistryKey key;
  return key.Open(HKEY_CURRENT_USER, m_keyPath.c_str(), RegistryKey::kCreate) &&
         key.SetMultiString(list.c_str(), kValueName);
}

}  // namespace kestrune::win32
