// RegistryKey and the path history it keeps, against Wine's registry.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/registry_key.h"
#include "win32/registry_path_history.h"

namespace kestrune::win32 {
namespace {

constexpr const char* kTestKey = "Software\\Quorvel\\KestruneTest";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
  // Stores a raw value under the test key.
  void Store(const char* name, DWORD type, const std::string& bytes) {
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, kTestKey, RegistryKey::kCreate));
    ASSERT_TRUE(key.SetValue(bytes.data(), static_cast<DWORD>(bytes.size()), name, type));
  }
  std::string StoredHistory() {
    RegistryKey key;
    std::vector<char> data;
    if (!key.Open(HKEY_CURRENT_USER, kTestKey, 0) ||
        !key.QueryValue(data, "PathList", REG_MULTI_SZ)) {
      return "(none)";
    }
    return std::string(data.data(), key.DataSize());
  }
};

TEST_F(RegistryTest, OpenCreatesOnlyInCreateModeAndReadOnlyRefusesWrites) {
  RegistryKey key;
  EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, kTestKey, RegistryKey::kReadOnly));
  EXPECT_EQ(key.LastError(), RegistryKey::kErrorNotAllowed);
  EXPECT_EQ(key.Top(), -1);
  ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, kTestKey, RegistryKey::kCreate));
  ASSERT_TRUE(key.OpenSubKey("a"));
  ASSERT_TRUE(key.OpenSubKey("b"));
  EXPECT_EQ(key.Top(), 2);
  EXPECT_TRUE(key.CloseAll());
  EXPECT_EQ(key.Current(), nullptr);

  ASSERT_TRUE(key.Open(nullptr, "hkey_current_user\\Software\\Quorvel\\KestruneTest", 0));
  EXPECT_FALSE(key.SetValue("x", 2, "v", REG_SZ));
  EXPECT_EQ(key.LastError(), RegistryKey::kErrorNotAllowed);
  EXPECT_TRUE(key.OpenSubKey("a\\b"));
}

TEST_F(RegistryTest, RootPrefixesMustBeFollowedByABackslashOrTheEnd) {
  const struct {
    const char* path;
    HKEY root;
    std::size_t prefix;
  } cases[] = {
      {"hkey_local_machine\\Software", HKEY_LOCAL_MACHINE, 19},
      {"HKEY_USERS", HKEY_USERS, 10},
      {"HKEY_USERSX", HKEY_CURRENT_USER, 0},
      {"Software\\Quorvel", HKEY_CURRENT_USER, 0},
  };
  for (const auto& c : cases) {
    std::size_t prefix = 99;
    EXPECT_EQ(RegistryKey::ParseRootPrefix(c.path, prefix), c.root) << c.path;
    EXPECT_EQ(prefix, c.prefix) << c.path;
  }
  char path[12];
  EXPECT_EQ(RegistryKey::BuildDefaultKeyPath(path, sizeof path, nullptr), 11);
  EXPECT_STREQ(path, "Software\\Qu");
}

TEST_F(RegistryTest, MultiStringsReadBackTerminatedAndBadValuesAreRefused) {
  Store("unterminated", REG_MULTI_SZ, std::string("a\0b", 3));
  Store("dword", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
  Store("huge", REG_MULTI_SZ, std::string(RegistryKey::kMaxValueBytes + 1, 'x'));
  RegistryKey key;
  ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, kTestKey, 0));
  std::vector<char> data;
  ASSERT_TRUE(key.QueryValue(data, "unterminated", REG_MULTI_SZ));
  EXPECT_EQ(std::string(data.data(), key.DataSize()), std::string("a\0b\0\0", 5));
  EXPECT_FALSE(key.QueryValue(data, "dword", REG_MULTI_SZ));
  EXPECT_FALSE(key.QueryValue(data, "huge", REG_MULTI_SZ));
  EXPECT_TRUE(data.empty());
}

TEST_F(RegistryTest, TheHistoryIsStoredMarkedAndComesBackAsItWas) {
  RegistryPathHistory store(kTestKey);
  EXPECT_FALSE(store.Load().has_value());
  const std::string longPath = "C:\\" + std::string(296, 'x') + ".bin";
  ASSERT_TRUE(store.Save({longPath, {longPath, "C:\\a.bin", "c:\\A.bin"}}));
  EXPECT_EQ(StoredHistory(), "\x02" + longPath + '\0' + longPath + '\0' + "C:\\a.bin" + '\0' +
                                 "c:\\A.bin" + '\0' + '\0');
  const std::optional<PathHistory> loaded = store.Load();
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->current, longPath);
  EXPECT_EQ(loaded->items, (std::vector<std::string>{longPath, "C:\\a.bin", "c:\\A.bin"}));
}

TEST_F(RegistryTest, BadStoredHistoriesAreIgnoredOrReadAsFarAsTheyGo) {
  const struct {
    const char* what;
    DWORD type;
    std::string bytes;
    std::size_t items;  // 0: no history at all
  } cases[] = {
      {"wrong type", REG_SZ, std::string("C:\\a.bin\0", 9), 0},
      {"empty", REG_MULTI_SZ, "", 0},
      {"megabytes", REG_MULTI_SZ, std::string(2 << 20, 'y'), 0},
      {"no mark, no terminator", REG_MULTI_SZ, std::string("C:\\a.bin\0C:\\b.bin", 17), 2},
  };
  RegistryPathHistory store(kTestKey);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Store("PathList", c.type, c.bytes);
    const std::optional<PathHistory> loaded = store.Load();
    ASSERT_EQ(loaded.has_value(), c.items != 0);
    if (loaded) {
      EXPECT_FALSE(loaded->current.has_value());
      EXPECT_EQ(loaded->items.size(), c.items);
    }
  }
}

}  // namespace
}  // namespace kestrune::win32
