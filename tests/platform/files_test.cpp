#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testkit/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrune {
namespace {

using testkit::TempFolder;
using testkit::UnreadableFile;
using testkit::WriteFileBytes;
using testkit::WriteFileText;

#ifdef _WIN32
const char* const kRoot = "C:\\";

std::string MissingDrive() {
  const DWORD drives = GetLogicalDrives();
  for (char letter = 'Y'; letter > 'D'; --letter) {
    if ((drives >> (letter - 'A') & 1u) == 0) return std::string(1, letter) + ":\\x";
  }
  return {};
}
#else
const char* const kRoot = "/";
#endif

bool IsFolder(const std::string& path) {
  return std::filesystem::is_directory(path);
}

TEST(Files, PathKindAndPlainFileSize) {
  TempFolder folder;
  const std::string file = folder.File("fw.bin");
  const std::string empty = folder.File("empty.bin");
  WriteFileBytes(file, std::vector<std::uint8_t>(1536, 0xAB));
  WriteFileBytes(empty, {});
  // Sparse: sizes beyond 31 and 32 bits cost no disk space.
  const std::string beyond31Bits = folder.File("2g.bin");
  const std::string beyond32Bits = folder.File("4g.bin");
  WriteFileBytes(beyond31Bits, {});
  WriteFileBytes(beyond32Bits, {});
  std::filesystem::resize_file(beyond31Bits, 0x80000000 + 100);
  std::filesystem::resize_file(beyond32Bits, 0x100000000 + 100);
  const struct {
    std::string path;
    PathKind kind;
    std::int64_t size;
  } cases[] = {
      {file, kPathFile, 1536},
      {empty, kPathFile, 0},
      {beyond31Bits, kPathFile, 0x80000000 + 100},
      {beyond32Bits, kPathFile, 0x100000000 + 100},
      {folder.Path(), kPathDirectory, -1},
      {folder.File("missing.bin"), kPathMissing, -1},
      {folder.File("missing/fw.bin"), kPathMissing, -1},
      {"", kPathMissing, -1},
      {kRoot, kPathDriveRoot, -1},
#ifdef _WIN32
      {"c:/", kPathDriveRoot, -1},
      {MissingDrive(), kPathMissing, -1},
#endif
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetPathKind(c.path.c_str()), c.kind) << c.path;
    EXPECT_EQ(GetPlainFileSize(c.path.c_str()), c.size) << c.path;
  }
}

TEST(Files, MappingShowsTheWholeFileAndRefusesWhatCannotBeMapped) {
  TempFolder folder;
  const std::string file = folder.File("fw.bin");
  WriteFileText(file, "firmware");
  {
    ReadOnlyFileMapping mapping(file.c_str());
    ASSERT_TRUE(mapping.IsMapped());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapping.Data()), mapping.Size()),
              "firmware");
  }
  WriteFileBytes(folder.File("empty.bin"), {});
  for (const std::string& path :
       {folder.File("empty.bin"), folder.Path(), folder.File("missing.bin")}) {
    ReadOnlyFileMapping mapping(path.c_str());
    EXPECT_FALSE(mapping.IsMapped()) << path;
    EXPECT_EQ(mapping.Size(), 0u);
  }
}

TEST(Files, UnreadableFilesAreNeitherMappedNorRead) {
  TempFolder folder;
  const std::string path = folder.File("busy.bin");
  UnreadableFile busy(path);
  EXPECT_EQ(GetPathKind(path.c_str()), kPathFile);
  EXPECT_FALSE(ReadOnlyFileMapping(path.c_str()).IsMapped());
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(ReadWholeFile(path.c_str(), buffer, sizeof buffer), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 0);
}

TEST(Files, ReadWholeFileTerminatesTwiceWithinCapacity) {
  TempFolder folder;
  const std::string file = folder.File("ten.bin");
  WriteFileText(file, "0123456789");
  std::vector<char> large(1048576, 'x');
  EXPECT_EQ(ReadWholeFile(file.c_str(), large.data(), 1048576), 10);
  EXPECT_EQ(std::string(large.data(), 12), std::string("0123456789\0\0", 12));

  const struct {
    std::int32_t capacity;
    std::int32_t read;
    const char* buffer;  // 8 bytes after the call
  } cases[] = {
      {8, 6, "012345\0\0"}, {12, 10, "01234567"}, {2, 0, "\0\0xxxxxx"},
      {1, 0, "\0xxxxxxx"},  {0, 0, "xxxxxxxx"},   {-5, 0, "xxxxxxxx"},
  };
  for (const auto& c : cases) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(ReadWholeFile(file.c_str(), buffer, c.capacity), c.read) << c.capacity;
    EXPECT_EQ(std::string(buffer, 8), std::string(c.buffer, 8)) << c.capacity;
    EXPECT_EQ(buffer[std::max(c.capacity, 12)], 'x');
  }
  char missing[4] = "abc";
  EXPECT_EQ(ReadWholeFile(folder.File("missing").c_str(), missing, 4), 0);
  EXPECT_EQ(std::string(missing, 3), std::string("\0\0c", 3));
}

TEST(Files, CreateDirectoryPathCreatesEveryMissingFolder) {
  TempFolder folder;
  const std::string deep = folder.File("a/b/c");
  EXPECT_EQ(CreateDirectoryPath(deep.c_str()), kFolderCreated);
  EXPECT_TRUE(IsFolder(deep));
  EXPECT_EQ(CreateDirectoryPath(deep.c_str()), kFolderPresent);
  EXPECT_EQ(CreateDirectoryPath((folder.File("a/b") + "/").c_str()), kFolderPresent);
  EXPECT_EQ(CreateDirectoryPath(folder.File("a/d/").c_str()), kFolderCreated);
  EXPECT_TRUE(IsFolder(folder.File("a/d")));
  EXPECT_EQ(CreateDirectoryPath(kRoot), kFolderPresent);

  WriteFileText(folder.File("a/file"), "x");
  EXPECT_EQ(CreateDirectoryPath(folder.File("a/file").c_str()), kFolderFailed);
  EXPECT_EQ(CreateDirectoryPath(folder.File("a/file/e").c_str()), kFolderFailed);
  EXPECT_EQ(CreateDirectoryPath(""), kFolderFailed);
#ifdef _WIN32
  EXPECT_EQ(CreateDirectoryPath(MissingDrive().c_str()), kFolderFailed);
#else
  EXPECT_EQ(CreateDirectoryPath((folder.Path() + "/x//y").c_str()), kFolderFailed);
#endif
  // A path beyond the path limit is refused, not cut.
  const std::string tooLong = folder.File(std::string(300, 'n'));
  EXPECT_EQ(CreateDirectoryPath(tooLong.c_str()), kFolderFailed);
}

TEST(Files, ModulePathNamesThisTestProgram) {
  std::string path;
  std::string folder;
  ASSERT_GT(GetModulePath(path), 0);
  EXPECT_NE(path.find("test_platform"), std::string::npos) << path;
  const std::int32_t length = GetModuleDirectory(folder);
  EXPECT_EQ(length, static_cast<std::int32_t>(folder.size()));
  EXPECT_TRUE(path.starts_with(folder)) << folder;
  EXPECT_TRUE(folder.back() == '/' || folder.back() == '\\') << folder;
  EXPECT_EQ(path.substr(folder.size()).find_first_of("/\\"), std::string::npos);

  char small[6] = "xxxxx";
  EXPECT_EQ(GetModulePath(small, sizeof small), 0);  // does not fit: nothing, not a cut path
  EXPECT_EQ(small[0], '\0');
}

}  // namespace
}  // namespace kestrune
