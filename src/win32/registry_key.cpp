#include "win32/registry_key.h"

#include <algorithm>
#include <cstring>

namespace kestrune::win32 {
namespace {

constexpr REGSAM kAllAccess = 0xF003F;
constexpr REGSAM kReadAccess = 0x20019;
constexpr REGSAM kView64 = 0x100;
constexpr unsigned kModeMask = 0x3F;

// The two names under "Software" by which the program keeps its settings.
constexpr const char* kRegistryKeyName = "Quorvel";
constexpr const char* kProfileName = "Kestrune";

struct RootName {
  const char* name;
  HKEY key;
};
const RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {"HKEY_DYN_DATA", HKEY_DYN_DATA},
};

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ;
}

}  // namespace

const char* const RegistryKey::kNext = reinterpret_cast<const char*>(-1);

RegistryKey::RegistryKey() = default;

RegistryKey::~RegistryKey() {
  if (m_top >= 0) CloseAll();
}

HKEY RegistryKey::ParseRootPrefix(const char* path, std::size_t& prefixLength) {
  prefixLength = 0;
  if (path == nullptr) return HKEY_CURRENT_USER;
  for (const RootName& root : kRoots) {
    const std::size_t length = std::strlen(root.name);
    if (_strnicmp(path, root.name, length) != 0) continue;
    if (path[length] == '\\') {
      prefixLength = length + 1;
      return root.key;
    }
    if (path[length] == '\0') {
      prefixLength = length;
      return root.key;
    }
  }
  return HKEY_CURRENT_USER;
}

int RegistryKey::BuildDefaultKeyPath(char* buffer, int length, const char* last) {
  if (length < 1) return 0;
  std::string path = "Software";
  for (const char* part : {kRegistryKeyName, kProfileName, last}) {
    if (part != nullptr && *part != '\0') path += std::string("\\") + part;
  }
  path.resize(std::min(path.size(), static_cast<std::size_t>(length - 1)));
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<int>(path.size());
}

bool RegistryKey::Open(HKEY root, const char* path, unsigned flags) {
  return OpenOrCreate(root, path, flags, false);
}

bool RegistryKey::Create(HKEY root, const char* path, unsigned flags) {
  return OpenOrCreate(root, path, flags, true);
}

bool RegistryKey::OpenOrCreate(HKEY root, const char* path, unsigned flags, bool create) {
  if (m_top >= 0) CloseAll();
  m_mode = create ? static_cast<int>(kCreate) : static_cast<int>(flags & kModeMask);
  if (create) {
    m_access = kAllAccess | (flags & 0x7FF0FFC0);
  } else {
    m_access = (m_mode != 0 ? kAllAccess : kReadAccess) | (flags & 0x7FFFFFC0);
  }
  if (root == nullptr) {
    std::size_t prefix = 0;
    root = ParseRootPrefix(path, prefix);
    if (path != nullptr) path += prefix;
  }
  if ((create || (flags & ~kModeMask) == 0) && root == HKEY_LOCAL_MACHINE) m_access |= kView64;
  char defaultPath[1024];
  if (path == nullptr) {
    defaultPath[0] = '\0';
    if (root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE || root == HKEY_CURRENT_CONFIG) {
      BuildDefaultKeyPath(defaultPath, sizeof defaultPath, nullptr);
    }
    path = defaultPath;
  }
  HKEY key = nullptr;
  LONG result;
  if (create) {
    result = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, m_access, nullptr,
                             &key, nullptr);
  } else {
    result = RegOpenKeyExA(root, path, 0, m_access, &key);
  }
  if (result != ERROR_SUCCESS) {
    if (!create && m_mode == static_cast<int>(kCreate)) {
      return Create(root, path, flags & ~kModeMask);
    }
    m_lastError = create ? static_cast<DWORD>(result) : kErrorNotAllowed;
    return false;
  }
  m_root = root;
  m_lastError = 0;
  return Push(key, path);
}

bool RegistryKey::Push(HKEY key, const char* name) {
  ++m_top;
  m_keys[m_top] = key;
  m_keyNames[m_top] = name != nullptr ? name : "";
  m_valueCursor[m_top] = 0;
  m_subKeyCursor[m_top] = 0;
  m_current = key;
  return true;
}

bool RegistryKey::OpenSubKey(const char* name, bool noCreate) {
  if (m_top < 0) return m_lastError = kErrorNotOpen, false;
  if (m_top >= kLevels - 1) return m_lastError = kErrorStackFull, false;
  std::string chosen;
  if (name == nullptr || name == kNext) {
    const char* next = EnumSubKeyName(m_subKeyCursor[m_top]);
    if (next == nullptr) return false;
    ++m_subKeyCursor[m_top];
    chosen = next;
  } else {
    chosen = name;
  }
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExA(m_current, chosen.c_str(), 0, m_access, &key);
  if (result == ERROR_SUCCESS) return Push(key, chosen.c_str());
  if (m_mode == static_cast<int>(kCreate) && !noCreate) return CreateSubKey(chosen.c_str());
  m_lastError = kErrorNotAllowed;
  return false;
}

bool RegistryKey::CreateSubKey(const char* name) {
  if (m_top < 0) return m_lastError = kErrorNotOpen, false;
  if (m_top >= kLevels - 1) return m_lastError = kErrorStackFull, false;
  if (m_mode != static_cast<int>(kCreate)) return m_lastError = kErrorNotAllowed, false;
  if (name == nullptr) name = kRegistryKeyName;
  HKEY key = nullptr;
  const LONG result = RegCreateKeyExA(m_current, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      m_access, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return m_lastError = static_cast<DWORD>(result), false;
  return Push(key, name);
}

bool RegistryKey::CloseSubKey() {
  if (m_top < 0) return m_lastError = kErrorNotOpen, false;
  const LONG result = RegCloseKey(m_keys[m_top]);
  m_keys[m_top] = nullptr;
  m_keyNames[m_top].clear();
  --m_top;
  m_current = m_top >= 0 ? m_keys[m_top] : nullptr;
  if (result != ERROR_SUCCESS) m_lastError = static_cast<DWORD>(result);
  return result == ERROR_SUCCESS;
}

bool RegistryKey::CloseAll() {
  DWORD lastFailure = 0;
  while (m_top >= 0) {
    if (!CloseSubKey()) lastFailure = m_lastError;
  }
  m_current = nullptr;
  m_root = nullptr;
  m_lastError = lastFailure;
  return lastFailure == 0;
}

bool RegistryKey::CanUseValue() {
  if (m_top < 0) return m_lastError = kErrorNotOpen, false;
  if (m_top >= kLevels - 1) return m_lastError = kErrorStackFull, false;
  return true;
}

bool RegistryKey::NextValueName() {
  DWORD length = 257;
  const LONG result = RegEnumValueA(m_current, static_cast<DWORD>(m_valueCursor[m_top]), m_name,
                                    &length, nullptr, nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return m_lastError = static_cast<DWORD>(result), false;
  ++m_valueCursor[m_top];
  return true;
}

bool RegistryKey::QueryValue(std::vector<char>& out, const char* name, DWORD expectedType) {
  out.clear();
  if (!CanUseValue()) return false;
  const char* valueName = nullptr;
  if (name == kNext) {
    if (!NextValueName()) return false;
    valueName = m_name;
  } else if (name != nullptr) {
    std::strncpy(m_name, name, 257);
    m_name[257] = '\0';
    valueName = m_name;
  }
  DWORD type = 0;
  DWORD size = 0;
  LONG result = RegQueryValueExA(m_current, valueName, nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) {
    return m_lastError = static_cast<DWORD>(result), false;
  }
  const bool typeFits = expectedType == REG_NONE || type == expectedType ||
                        (IsStringType(type) && IsStringType(expectedType));
  if (!typeFits) return m_lastError = ERROR_INVALID_DATATYPE, false;
  if (size > kMaxValueBytes) return m_lastError = ERROR_MORE_DATA, false;
  std::vector<char> data(size == 0 ? 4 : size + 2, '\0');
  DWORD read = size;
  result = RegQueryValueExA(m_current, valueName, nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &read);
  // The value may have grown since its size was asked for: refused rather than cut.
  if (result != ERROR_SUCCESS) return m_lastError = static_cast<DWORD>(result), false;
  m_valueType = type;
  m_dataSize = read;
  if (read == 0) {
    if (IsStringType(expectedType)) m_dataSize = 1;
    if (expectedType == REG_MULTI_SZ) m_dataSize = 2;
  } else if (IsStringType(expectedType)) {
    if (data[read - 1] != '\0') data[read] = '\0', m_dataSize = read + 1;
  } else if (expectedType == REG_MULTI_SZ) {
    if (data[read - 1] != '\0') {
      data[read] = data[read + 1] = '\0';
      m_dataSize = read + 2;
    } else if (read < 2 || data[read - 2] != '\0') {
      data[read] = '\0';
      m_dataSize = read + 1;
    }
  }
  data.resize(std::max<std::size_t>(m_dataSize, 2));
  out = std::move(data);
  m_lastError = 0;
  return true;
}

bool RegistryKey::SetValue(const void* data, DWORD size, const char* name, DWORD type) {
  if (!CanUseValue()) return false;
  if (m_mode == static_cast<int>(kReadOnly)) return m_lastError = kErrorNotAllowed, false;
  if (data == nullptr) return m_lastError = kErrorNoData, false;
  const char* valueName = name;
  if (name == kNext) {
    if (!NextValueName()) return false;
    valueName = m_name;
  }
  const LONG result =
      RegSetValueExA(m_current, valueName, 0, type, static_cast<const BYTE*>(data), size);
  m_lastError = static_cast<DWORD>(result);
  if (result == ERROR_SUCCESS) m_dataSize = size;
  return result == ERROR_SUCCESS;
}

bool RegistryKey::SetMultiString(const char* list, const char* name) {
  DWORD size = 1;
  for (const char* entry = list; entry != nullptr && *entry != '\0';) {
    const std::size_t length = std::strlen(entry) + 1;
    size += static_cast<DWORD>(length);
    entry += length;
  }
  return SetValue(list, size, name, REG_MULTI_SZ);
}

const char* RegistryKey::EnumSubKeyName(int index) {
  if (m_top < 0) return m_lastError = kErrorNotOpen, nullptr;
  if (index == -1) index = m_subKeyCursor[m_top];
  DWORD length = 256;
  const LONG result = RegEnumKeyExA(m_current, static_cast<DWORD>(index), m_name, &length, nullptr,
                                    nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) {
    m_name[0] = '\0';
    m_lastError = static_cast<DWORD>(result);
    return nullptr;
  }
  return m_name;
}

}  // namespace kestrune::win32
