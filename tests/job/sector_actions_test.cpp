#include "job/sector_actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune {
namespace {

// Two sectors of 4096 bytes at 08000000; the image covers the first and 1000 bytes of the second.
const FlashPlan kPlan{0, 0x08000000, 5096, {{0, 0x08000000, 4096}, {1, 0x08001000, 4096}}};

std::vector<std::uint8_t> Image() {
  std::vector<std::uint8_t> image(kPlan.imageSize);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return image;
}

// What a plain run leaves in the last sector: its image part, then erased flash.
std::vector<std::uint8_t> PlainLastSector(const std::vector<std::uint8_t>& image) {
  std::vector<std::uint8_t> sector(4096, 0xFF);
  std::copy(image.begin() + 4096, image.end(), sector.begin());
  return sector;
}

TEST(SectorActions, SparesOnlyWhatTheWholeSectorReadProves) {
  const std::vector<std::uint8_t> image = Image();
  const std::vector<std::uint8_t> plain = PlainLastSector(image);
  std::vector<std::uint8_t> dataPastTheImage = plain;
  dataPastTheImage[3000] = 0x00;
  std::vector<std::uint8_t> oneBitOff = plain;
  oneBitOff[999] ^= 0x01;
  std::vector<std::uint8_t> blankButOneByte(4096, 0xFF);
  blankButOneByte[4095] = 0xFE;
  const struct {
    const char* name;
    std::vector<std::uint8_t> read;  // what the device gave; shorter than 4096: a short read
    SectorAction expected;
  } cases[] = {
      {"blank", std::vector<std::uint8_t>(4096, 0xFF), SectorAction::Write},
      {"equal", plain, SectorAction::Skip},
      {"equal, with data past the image's end", dataPastTheImage, SectorAction::EraseAndWrite},
      {"different in one bit", oneBitOff, SectorAction::EraseAndWrite},
      {"blank but for its last byte", blankButOneByte, SectorAction::EraseAndWrite},
      {"read failed (or refused under read protection)", {}, SectorAction::EraseAndWrite},
      {"short read of a blank sector", std::vector<std::uint8_t>(2048, 0xFF),
       SectorAction::EraseAndWrite},
      {"short read of an equal sector", std::vector<std::uint8_t>(plain.begin(), plain.end() - 1),
       SectorAction::EraseAndWrite},
  };
  const SectorImage expected = ImageInSector(kPlan, kPlan.erases[1], image.data());
  ASSERT_EQ(expected.length, 1000u);
  for (const auto& c : cases) {
    EXPECT_EQ(DecideSectorAction(expected, 4096, c.read.empty() ? nullptr : c.read.data(),
                                 static_cast<std::uint32_t>(c.read.size())),
              c.expected)
        << c.name;
  }
}

TEST(SectorActions, AnImageOfErasedBytesOnBlankFlashIsSkipped) {
  const std::vector<std::uint8_t> image(kPlan.imageSize, 0xFF);
  const std::vector<std::uint8_t> blank(4096, 0xFF);
  EXPECT_EQ(DecideSectorAction(ImageInSector(kPlan, kPlan.erases[0], image.data()), 4096,
                               blank.data(), 4096),
            SectorAction::Skip);
}

TEST(SectorActions, BlocksFedInOrderRuleOutTheSavingsAsSoonAsTheyDiffer) {
  const std::vector<std::uint8_t> image = Image();
  const SectorImage last = ImageInSector(kPlan, kPlan.erases[1], image.data());
  const std::vector<std::uint8_t> plain = PlainLastSector(image);
  // The image's part equal, then a block of blank flash that is not all blank: neither.
  SectorComparison equalThenNot(last, 4096);
  equalThenNot.Add(plain.data(), 2048);
  EXPECT_TRUE(equalThenNot.MaySpareWork());
  std::vector<std::uint8_t> notBlank(2048, 0xFF);
  notBlank[5] = 0x7F;
  equalThenNot.Add(notBlank.data(), 2048);
  EXPECT_FALSE(equalThenNot.MaySpareWork());
  EXPECT_EQ(equalThenNot.Action(), SectorAction::EraseAndWrite);
  // Blank first, then the image's bytes behind 2048: neither blank nor equal, though each block
  // alone would allow one of them.
  const SectorImage first = ImageInSector(kPlan, kPlan.erases[0], image.data());
  SectorComparison blankThenImage(first, 4096);
  blankThenImage.Add(std::vector<std::uint8_t>(2048, 0xFF).data(), 2048);
  EXPECT_TRUE(blankThenImage.MaySpareWork());
  blankThenImage.Add(image.data() + 2048, 2048);
  EXPECT_FALSE(blankThenImage.MaySpareWork());
  EXPECT_EQ(blankThenImage.Action(), SectorAction::EraseAndWrite);
}

TEST(SectorActions, WritesTheImageOutsideSkippedSectorsInJoinedStretches) {
  // Three sectors of 4096 and an image that runs 500 bytes past them (a segment shorter than
  // the image): what lies behind the last sector is always written.
  const FlashPlan plan{
      0, 0x08000000, 12788, {{0, 0x08000000, 4096}, {1, 0x08001000, 4096}, {2, 0x08002000, 4096}}};
  using A = SectorAction;
  const struct {
    std::vector<SectorAction> actions;
    std::vector<ImageRange> expected;
  } cases[] = {
      {{A::EraseAndWrite, A::Write, A::EraseAndWrite}, {{0, 12788}}},
      {{A::Skip, A::Skip, A::Skip}, {{12288, 500}}},
      {{A::Write, A::Skip, A::EraseAndWrite}, {{0, 4096}, {8192, 4596}}},
      {{A::Skip, A::Write, A::Skip}, {{4096, 4096}, {12288, 500}}},
  };
  for (const auto& c : cases) EXPECT_EQ(RangesToWrite(plan, c.actions), c.expected);
  EXPECT_EQ(RangesToWrite(kPlan, {A::Skip, A::Skip}), std::vector<ImageRange>{});
}

}  // namespace
}  // namespace kestrune
