#include "firmware/firmware_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune {
namespace {

using testkit::FirmwareImageRecipe;
using testkit::PutFirmwareHeader;

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t fill = 0) {
  return std::vector<std::uint8_t>(size, fill);
}

TEST(FirmwareImage, WordSumCountsCompleteLittleEndianWordsOnly) {
  const std::vector<std::uint8_t> words = {0x11, 0x22, 0x33, 0x44, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(WordSum(words), 0x44332210u);  // wraps modulo 2^32
  for (std::uint8_t tail : {1, 2, 3}) {
    auto longer = words;
    longer.insert(longer.end(), tail, 0x7E);
    EXPECT_EQ(WordSum(longer), 0x44332210u) << int{tail};
  }
  EXPECT_EQ(WordSum({}), 0u);
}

TEST(FirmwareImage, TheFirstCompleteHeaderCounts) {
  const struct {
    std::size_t size;
    std::vector<std::size_t> markers;
    std::int64_t found;
  } cases[] = {
      {73, {1}, 1},  // ends exactly at the end of the data
      {72, {0}, 0},
      {200, {128}, 128},  // 72 bytes left: found
      {200, {129}, -1},   // 71 bytes left: no header
      {71, {0}, -1},      // shorter than a header
      {400, {300, 17, 100}, 17},
      {400, {}, -1},
  };
  for (const auto& c : cases) {
    auto bytes = Bytes(c.size, '-');  // runs of '-' must not confuse the search
    for (std::size_t at : c.markers) {
      std::memcpy(bytes.data() + at, kFirmwareHeaderMarker,
                  std::min<std::size_t>(kFirmwareMarkerSize, c.size - at));
    }
    EXPECT_EQ(FindFirmwareHeader(bytes), c.found) << c.size;
  }
  auto almost = Bytes(100);
  std::memcpy(almost.data() + 3, "-----+++++----+", 15);
  EXPECT_EQ(FindFirmwareHeader(almost), -1);
}

TEST(FirmwareImage, ScanFillsHeaderAndSumFromTheFile) {
  testkit::TempFolder folder;
  auto image = testkit::BuildFirmwareImage();
  image[0x200 + 15] = 0x5A;  // the byte behind the marker is copied, not interpreted
  testkit::BalanceWordSum(image, image.size() - 4);
  const std::string path = folder.File("fw.bin");
  testkit::WriteFileBytes(path, image);
  FirmwareHeader header;
  std::uint32_t sum = 1;
  ASSERT_TRUE(ScanFirmwareFile(path.c_str(), header, sum));
  EXPECT_EQ(sum, kGoodWordSum);
  EXPECT_TRUE(std::equal(header.begin(), header.end(), image.begin() + 0x200));

  // No header: the sum is still the file's, the header all zero.
  auto plain = Bytes(10, 0x01);
  testkit::WriteFileBytes(path, plain);
  header.fill(0xEE);
  EXPECT_FALSE(ScanFirmwareFile(path.c_str(), header, sum));
  EXPECT_EQ(sum, 0x02020202u);
  EXPECT_EQ(header, FirmwareHeader{});

  // Nothing mapped: both cleared.
  for (const std::string& unmapped : {folder.File("missing.bin"), folder.Path()}) {
    header.fill(0xEE);
    sum = 7;
    EXPECT_FALSE(ScanFirmwareFile(unmapped.c_str(), header, sum));
    EXPECT_EQ(sum, 0u);
    EXPECT_EQ(header, FirmwareHeader{});
  }
}

}  // namespace
}  // namespace kestrune
