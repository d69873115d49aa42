#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include "device/memory_map.h"

namespace kestrune {
namespace {

struct Group {
  std::uint32_t count;
  std::uint32_t start;
  std::uint32_t size;
  char attribute;
};

// Checks every sector of `segment` against consecutive groups, including the running index.
void ExpectSectors(const MemorySegment& segment, const std::vector<Group>& groups) {
  std::uint32_t index = 0;
  for (const Group& group : groups) {
    for (std::uint32_t k = 0; k < group.count; ++k, ++index) {
      ASSERT_LT(index, segment.sectors.size());
      const MemorySector& sector = segment.sectors[index];
      EXPECT_EQ(sector.startAddress, group.start + k * group.size) << index;
      EXPECT_EQ(sector.secondAddress, sector.startAddress) << index;
      EXPECT_EQ(sector.index, index);
      EXPECT_EQ(sector.size, group.size) << index;
      EXPECT_EQ(sector.attribute, group.attribute) << index;
      EXPECT_EQ(sector.flag, 1) << index;
    }
  }
  EXPECT_EQ(segment.sectors.size(), index);
  EXPECT_EQ(segment.sectorCount, index);
}

TEST(MemoryMapString, BootLoaderFlashStrings) {
  const std::optional<MemorySegment> f40x =
      ParseMemorySegment("@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg", 0);
  ASSERT_TRUE(f40x);
  EXPECT_EQ(f40x->name, "Internal Flash  ");
  ExpectSectors(
      *f40x,
      {{4, 0x08000000, 16384, 'g'}, {1, 0x08010000, 65536, 'g'}, {7, 0x08020000, 131072, 'g'}});

  const std::optional<MemorySegment> dualBank = ParseMemorySegment(
      "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg,04*016Kg,01*064Kg,07*128Kg", 5);
  ASSERT_TRUE(dualBank);
  EXPECT_EQ(dualBank->alternateSetting, 5);
  ExpectSectors(*dualBank, {{4, 0x08000000, 16384, 'g'},
                            {1, 0x08010000, 65536, 'g'},
                            {7, 0x08020000, 131072, 'g'},
                            {4, 0x08100000, 16384, 'g'},
                            {1, 0x08110000, 65536, 'g'},
                            {7, 0x08120000, 131072, 'g'}});
  MemoryMap map;
  map.segments = {*f40x, *dualBank};
  EXPECT_EQ(WritableFlashSize(map), 3u * 1024 * 1024);
}

TEST(MemoryMapString, OtherAreasAndForms) {
  struct Case {
    const char* text;
    const char* name;
    std::vector<Group> groups;
  };
  const Case cases[] = {
      {"@Option Bytes  /0x1FFFC000/01*016 e/0x1FFEC000/01*016 e",
       "Option Bytes  ",
       {{1, 0x1FFFC000, 16, 'e'}, {1, 0x1FFEC000, 16, 'e'}}},
      {"@OTP Memory /0x1FFF7800/01*512 e,01*016 e",
       "OTP Memory ",
       {{1, 0x1FFF7800, 512, 'e'}, {1, 0x1FFF7A00, 16, 'e'}}},
      // As F42x boot loaders report them: the OTP area of both banks, one blank after the
      // flash's name.
      {"@OTP Memory /0x1FFF7800/01*512 e,01*016 e/0x1FFE7800/01*512 e,01*016 e",
       "OTP Memory ",
       {{1, 0x1FFF7800, 512, 'e'},
        {1, 0x1FFF7A00, 16, 'e'},
        {1, 0x1FFE7800, 512, 'e'},
        {1, 0x1FFE7A00, 16, 'e'}}},
      {"@Internal Flash /0x08000000/04*016Kg,01*064Kg,07*128Kg,04*016Kg,01*064Kg,07*128Kg",
       "Internal Flash ",
       {{4, 0x08000000, 16384, 'g'},
        {1, 0x08010000, 65536, 'g'},
        {7, 0x08020000, 131072, 'g'},
        {4, 0x08100000, 16384, 'g'},
        {1, 0x08110000, 65536, 'g'},
        {7, 0x08120000, 131072, 'g'}}},
      {"@Device Feature/0xFFFF0000/01*004 e", "Device Feature", {{1, 0xFFFF0000, 4, 'e'}}},
      {"@Flash/0x08000000/02*016Kg,01*064Ka",
       "Flash",
       {{2, 0x08000000, 16384, 'g'}, {1, 0x08008000, 65536, 'a'}}},
      {"@Flash/0x08000000/02*016Kg/0x08100000/01*128Kg",
       "Flash",
       {{2, 0x08000000, 16384, 'g'}, {1, 0x08100000, 131072, 'g'}}},
      {"@Big/8000000/2*1Mg", "Big", {{2, 0x08000000, 1048576, 'g'}}},
      // Nothing after the last group: the segment ends at the end of the text.
      {"@Tail/0x20000000/01*001Kg,", "Tail", {{1, 0x20000000, 1024, 'g'}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<MemorySegment> segment = ParseMemorySegment(c.text, 0);
    ASSERT_TRUE(segment);
    EXPECT_EQ(segment->name, c.name);
    ExpectSectors(*segment, c.groups);
  }
}

TEST(MemoryMapString, AddressPairAdvancesBothAddresses) {
  const std::optional<MemorySegment> segment =
      ParseMemorySegment("@Flash/0x08000000-0x00000000/03*016Kg", 0);
  ASSERT_TRUE(segment);
  ASSERT_EQ(segment->sectors.size(), 3u);
  for (std::uint32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(segment->sectors[k].startAddress, 0x08000000u + k * 16384);
    EXPECT_EQ(segment->sectors[k].secondAddress, k * 16384);
  }
}

TEST(MemoryMapString, RefusesBrokenAndHostileStrings) {
  const std::string longName = "@" + std::string(480, 'x');
  for (const std::string& text : std::vector<std::string>{
           "",
           "Internal Flash/0x08000000/04*016Kg",   // no '@'
           "@Internal Flash  ",                    // no '/' at all
           longName,                               // no '/' anywhere in a long string
           "@Flash/0x08000000/",                   // no sector declared
           "@Flash/0x08000000/00*016Kg",           // declares 0
           "@Flash/0x08000000/4 *016Kg,01*016Kg",  // a group holds more than the '*' declare
           "@Flash/0x08000000/04*016Kg,x2*016Kg",  // groups describe fewer sectors than declared
           "@Flash/0x08000000/04*016",             // no multiplier or attribute
           "@Flash/0x08000000/04*016K",            // no attribute
           "@Flash/0x08000000/04*000Kg",           // empty sectors
           "@Flash/0x08000000/01*5000Mg",          // a sector beyond 32 bits
           "@Flash/0xFFFF0000/02*064Kg",           // runs past the end of the address space
           "@Flash/0x08000000/99999999*016Kg",     // millions of sectors
           "@Flash/0x08000000/65536*001Kg,1*1Kg",  // just over the limit in all
       }) {
    EXPECT_FALSE(ParseMemorySegment(text, 0)) << text;
  }
  // The parser never looks past the text it is given, even without a terminator (the sanitizer
  // build catches a read of the byte after this exactly sized buffer).
  const std::string_view cut = "@Flash/0x08000000/01*016K";
  const std::unique_ptr<char[]> exact(new char[cut.size()]);
  std::copy(cut.begin(), cut.end(), exact.get());
  EXPECT_FALSE(ParseMemorySegment(std::string_view(exact.get(), cut.size()), 0));
  EXPECT_TRUE(ParseMemorySegment("@Flash/0x08000000/65536*001Kg", 0));
}

// Random strings of the characters that matter: the parser must never read outside the text,
// and whatever it accepts is whole: one record per declared sector, numbered in order.
TEST(MemoryMapString, RandomStringsNeverBreakTheRecords) {
  std::mt19937 random(20140517);
  const std::string_view prefixes[] = {"@", "@F/0x08000000/", "@F/1-2/", "@F/0xFFFFF000/"};
  const std::string_view alphabet = "@//***,,-00123456789KMga x";
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string candidate(prefixes[random() % 4]);
    for (std::size_t i = random() % 30; i > 0; --i) {
      candidate += alphabet[random() % alphabet.size()];
    }
    const std::size_t length = candidate.size();
    const std::unique_ptr<char[]> text(new char[length]);
    std::copy(candidate.begin(), candidate.end(), text.get());
    const std::optional<MemorySegment> segment =
        ParseMemorySegment(std::string_view(text.get(), length), 0, 4096);
    if (!segment) continue;
    ++accepted;
    ASSERT_EQ(segment->sectors.size(), segment->sectorCount);
    ASSERT_LE(segment->sectorCount, 4096u);
    for (std::uint32_t i = 0; i < segment->sectorCount; ++i) {
      ASSERT_EQ(segment->sectors[i].index, i);
      ASSERT_GT(segment->sectors[i].size, 0u);
      ASSERT_LE(std::uint64_t{segment->sectors[i].startAddress} + segment->sectors[i].size,
                0x100000000ull);
    }
  }
  EXPECT_GT(accepted, 100);  // the valid forms are reached, not only the errors
}

}  // namespace
}  // namespace kestrune
