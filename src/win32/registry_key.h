#pragma once
// RegistryKey: a stack of open registry keys, one below a root key and sub-keys nested on top of
// it. Values are read from and written to the key on top. The object owns every handle it opens
// and closes them all when it goes, so a caller can stop at any step. Failures give false and
// leave their reason in LastError(): the registry's error code or one of the codes below.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace kestrune::win32 {

class RegistryKey {
 public:
  static constexpr DWORD kErrorNotOpen = 22549;
  static constexpr DWORD kErrorStackFull = 22550;
  static constexpr DWORD kErrorNotAllowed = 22551;  // no key and no creation, or read-only
  static constexpr DWORD kErrorNoData = 22552;

  // Modes in the low six bits of the flags of Open and Create; the bits above are access rights.
  static constexpr unsigned kReadOnly = 0;
  static constexpr unsigned kWrite = 1;
  static constexpr unsigned kCreate = 2;

  // Stands for "the next one by enumeration" where a name is expected.
  static const char* const kNext;

  // Values larger than this are refused: no registry value makes the program allocate without
  // bound.
  static constexpr DWORD kMaxValueBytes = 64 * 1024;

  RegistryKey();
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens `path` below `root` (null: the root named at the start of the path). A null path
  // opens the program's default key under the user, machine and configuration roots.
  bool Open(HKEY root, const char* path, unsigned flags);
  bool Create(HKEY root, const char* path, unsigned flags);
  // Pushes a sub-key of the current key (kNext: the next one by enumeration); in create mode a
  // missing one is created unless `noCreate`.
  bool OpenSubKey(const char* name, bool noCreate = false);
  // Pushes a sub-key, creating it; null: the program's own key name. Create mode only.
  bool CreateSubKey(const char* name);
  bool CloseSubKey();
  bool CloseAll();

  // Reads a value of the current key (null name: the default value; kNext: the next value by
  // enumeration) into `out`, terminated for `expectedType`. A value of another type is refused
  // (REG_NONE accepts any type).
  bool QueryValue(std::vector<char>& out, const char* name, DWORD expectedType);
  bool SetValue(const void* data, DWORD size, const char* name, DWORD type);
  // `list`: NUL-terminated strings ended by an empty string.
  bool SetMultiString(const char* list, const char* name);
  // The name of a sub-key of the current key (-1: the current level's cursor), or null.
  const char* EnumSubKeyName(int index);

  DWORD LastError() const { return m_lastError; }
  DWORD ValueType() const { return m_valueType; }
  DWORD DataSize() const { return m_dataSize; }
  int Top() const { return m_top; }
  HKEY Current() const { return m_current; }

  // "Software\Quorvel\Kestrune", then `last` when given; cut to length - 1. Returns the length
  // of the text, 0 for a length below 1.
  static int BuildDefaultKeyPath(char* buffer, int length, const char* last);
  // The root key named at the start of `path` and the length of that prefix with its '\'.
  static HKEY ParseRootPrefix(const char* path, std::size_t& prefixLength);

 private:
  static constexpr int kLevels = 12;
  bool CanUseValue();
  // The current level's next value name into the name buffer; the cursor advances.
  bool NextValueName();
  bool Push(HKEY key, const char* name);
  bool OpenOrCreate(HKEY root, const char* path, unsigned flags, bool create);

  HKEY m_current = nullptr;
  HKEY m_root = nullptr;
  char m_name[258] = {};
  DWORD m_valueType = 0;
  DWORD m_dataSize = 0;
  HKEY m_keys[kLevels] = {};
  int m_valueCursor[kLevels] = {};
  int m_subKeyCursor[kLevels] = {};
  std::string m_keyNames[kLevels];
  int m_top = -1;
  int m_mode = 0;
  REGSAM m_access = 0;
  DWORD m_lastError = 0;
};

}  // namespace kestrune::win32
