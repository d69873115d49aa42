#include "support/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kestrune {
namespace {

// A buffer with guard bytes behind the capacity, to catch writes past it.
struct Guarded {
  explicit Guarded(const char* content = "") {
    std::memset(bytes, '#', sizeof bytes);
    std::strcpy(bytes, content);
  }
  bool GuardIntact(int capacity) const {
    for (std::size_t k = static_cast<std::size_t>(capacity); k < sizeof bytes; ++k) {
      if (bytes[k] != '#') return false;
    }
    return true;
  }
  char bytes[32];
};

TEST(BoundedText, CopyBoundedCutsAndTerminates) {
  const struct {
    const char* source;
    int capacity;
    int copied;
    const char* result;
  } cases[] = {{"abcdef", 4, 3, "abc"}, {"ab", 4, 2, "ab"}, {"abc", 4, 3, "abc"}, {"x", 1, 0, ""}};
  for (const auto& c : cases) {
    Guarded buffer;
    EXPECT_EQ(CopyBounded(buffer.bytes, c.source, c.capacity), c.copied) << c.source;
    EXPECT_STREQ(buffer.bytes, c.result);
    EXPECT_TRUE(buffer.GuardIntact(c.capacity));
  }
  Guarded untouched;
  EXPECT_EQ(CopyBounded(untouched.bytes, "abc", 0), 0);
  EXPECT_EQ(CopyBounded(untouched.bytes, "abc", -1), 0);
  EXPECT_TRUE(untouched.GuardIntact(1));
}

TEST(BoundedText, BoundedLengthStopsAtTheCapacity) {
  const char text[] = {'a', 'b', 'c'};  // no terminator
  EXPECT_EQ(BoundedLength(text, 3), 3);
  EXPECT_EQ(BoundedLength("ab", 10), 2);
  EXPECT_EQ(BoundedLength("ab", 0), 0);
  EXPECT_EQ(BoundedLength("ab", -4), 0);
}

TEST(BoundedText, AppendBoundedNeverOverruns) {
  Guarded buffer("C:\\Tools\\");
  EXPECT_EQ(AppendBounded(buffer.bytes, "Infos", 20), 14);
  EXPECT_EQ(AppendBounded(buffer.bytes, "\\DownloadList.csv", 20), 19);
  EXPECT_STREQ(buffer.bytes, "C:\\Tools\\Infos\\Down");
  EXPECT_TRUE(buffer.GuardIntact(20));

  // Content that is not terminated inside the capacity stays as it is.
  Guarded full;
  std::memset(full.bytes, 'a', 8);
  EXPECT_EQ(AppendBounded(full.bytes, "b", 8), 8);
  EXPECT_EQ(full.bytes[7], 'a');
  EXPECT_EQ(full.bytes[8], '#');
}

TEST(BoundedText, ReplaceFileNameKeepsTheFolderPart) {
  const struct {
    const char* source;
    const char* name;
    int capacity;
    const char* result;
  } cases[] = {
      {"C:\\Tools\\app.exe", "", 260, "C:\\Tools\\"},
      {"C:\\Tools\\app.exe", "Infos", 260, "C:\\Tools\\Infos"},
      {"/opt/kestrune/bin/kestrune", "x", 260, "/opt/kestrune/bin/x"},
      {"C:app.exe", "b", 260, "C:b"},
      {"app.exe", "new", 260, "new"},
      {"\\app", "new", 260, "new"},  // the first character is never a folder part alone
      {"C:\\Tools\\app.exe", "abcdef", 12, "C:\\Tools\\ab"},
      {"C:\\Tools\\app.exe", "x", 6, "C:\\To"},  // the folder alone does not fit
  };
  for (const auto& c : cases) {
    Guarded buffer;
    const int length = ReplaceFileName(buffer.bytes, c.source, c.name, c.capacity);
    EXPECT_STREQ(buffer.bytes, c.result) << c.source;
    EXPECT_EQ(length, static_cast<int>(std::strlen(c.result)));
    EXPECT_TRUE(buffer.GuardIntact(std::min(c.capacity, 32)));
  }
  Guarded same("C:\\Tools\\app.exe");
  EXPECT_EQ(ReplaceFileName(same.bytes, same.bytes, "other.cfg", 32), 18);
  EXPECT_STREQ(same.bytes, "C:\\Tools\\other.cfg");
  EXPECT_EQ(ReplaceFileName(same.bytes, "x", "y", 0), 0);
  EXPECT_STREQ(same.bytes, "C:\\Tools\\other.cfg");

  std::string path = "D:\\fw\\x.bin";
  EXPECT_EQ(ReplaceFileName(path, "y.bin"), 11);
  EXPECT_EQ(path, "D:\\fw\\y.bin");
}

TEST(BoundedText, FileNamePartIsTheTextAfterTheLastSeparator) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {{"D:\\fw\\x.bin", "x.bin"},
               {"x.bin", "x.bin"},
               {"a/b\\c:d", "d"},
               {"D:\\fw\\", ""},
               {"", ""}};
  for (const auto& c : cases) {
    std::int32_t length = -1;
    const auto total = static_cast<std::int32_t>(std::strlen(c.path));
    const char* name = FileNamePart(total, c.path, &length);
    EXPECT_STREQ(name, c.name) << c.path;
    EXPECT_EQ(length, static_cast<std::int32_t>(std::strlen(c.name)));
  }
  EXPECT_STREQ(FileNamePart(5, "D:\\fw\\x.bin", nullptr), "fw\\x.bin");  // only the first 5 count
}

}  // namespace
}  // namespace kestrune
