#include "job/sector_actions.h"

#include <algorithm>

namespace kestrune {
namespace {

constexpr std::uint8_t kErased = 0xFF;

// What the first `length` bytes read still allow.
struct Match {
  bool equal = true;  // the image's bytes, then 0xFF
  bool blank = true;  // 0xFF only
};

Match Compare(const SectorImage& image, const std::uint8_t* read, std::uint32_t length) {
  Match match;
  const std::uint32_t imagePart = std::min(length, image.length);
  match.equal = std::equal(read, read + imagePart, image.bytes);
  const auto erased = [](std::uint8_t byte) { return byte == kErased; };
  const bool tailErased = std::all_of(read + imagePart, read + length, erased);
  match.equal = match.equal && tailErased;
  match.blank = tailErased && std::all_of(read, read + imagePart, erased);
  return match;
}

std::uint32_t OffsetOf(const FlashPlan& plan, const PlannedErase& sector) {
  return sector.address - plan.startAddress;
}

std::uint32_t ImageBytesIn(const FlashPlan& plan, const PlannedErase& sector) {
  const std::uint32_t offset = OffsetOf(plan, sector);
  return offset >= plan.imageSize ? 0 : std::min(sector.size, plan.imageSize - offset);
}

}  // namespace

SectorImage ImageInSector(const FlashPlan& plan, const PlannedErase& sector,
                          const std::uint8_t* image) {
  const std::uint32_t length = ImageBytesIn(plan, sector);
  return {length == 0 ? image : image + OffsetOf(plan, sector), length};
}

SectorAction DecideSectorAction(const SectorImage& image, std::uint32_t sectorSize,
                                const std::uint8_t* read, std::uint32_t readLength) {
  if (read == nullptr || readLength < sectorSize) return SectorAction::EraseAndWrite;
  const Match match = Compare(image, read, sectorSize);
  if (match.equal) return SectorAction::Skip;
  if (match.blank) return SectorAction::Write;
  return SectorAction::EraseAndWrite;
}

bool MaySpareWork(const SectorImage& image, const std::uint8_t* read, std::uint32_t readLength) {
  const Match match = Compare(image, read, readLength);
  return match.equal || match.blank;
}

std::vector<ImageRange> RangesToWrite(const FlashPlan& plan,
                                      const std::vector<SectorAction>& actions) {
  std::vector<ImageRange> ranges;
  const auto add = [&ranges](std::uint32_t offset, std::uint32_t length) {
    if (length == 0) return;
    if (!ranges.empty() && ranges.back().offset + ranges.back().length == offset) {
      ranges.back().length += length;
    } else {
      ranges.push_back({offset, length});
    }
  };
  std::uint32_t covered = 0;
  for (std::size_t i = 0; i < plan.erases.size(); ++i) {
    const PlannedErase& sector = plan.erases[i];
    const std::uint32_t offset = OffsetOf(plan, sector);
    const std::uint32_t length = ImageBytesIn(plan, sector);
    if (i >= actions.size() || actions[i] != SectorAction::Skip) add(offset, length);
    covered = offset + length;
  }
  if (covered < plan.imageSize) add(covered, plan.imageSize - covered);
  return ranges;
}

}  // namespace kestrune
