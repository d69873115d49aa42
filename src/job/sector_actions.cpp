#include "job/sector_actions.h"

#include <algorithm>

namespace kestrune {
namespace {

bool Erased(const std::uint8_t* bytes, std::uint32_t length) {
  return std::all_of(bytes, bytes + length, [](std::uint8_t byte) { return byte == 0xFF; });
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

void SectorComparison::Add(const std::uint8_t* bytes, std::uint32_t length) {
  length = std::min(length, m_sectorSize - std::min(m_read, m_sectorSize));
  const bool erased = Erased(bytes, length);
  m_blank = m_blank && erased;
  // The part of the image these bytes lie over; behind it the sector must be erased.
  const std::uint32_t imageEnd = std::max(m_image.length, m_read);
  const std::uint32_t overImage = std::min(length, imageEnd - m_read);
  m_equal = m_equal &&
            (overImage == 0 || std::equal(bytes, bytes + overImage, m_image.bytes + m_read)) &&
            Erased(bytes + overImage, length - overImage);
  m_read += length;
}

SectorAction SectorComparison::Action() const {
  if (!Whole()) return SectorAction::EraseAndWrite;
  if (m_equal) return SectorAction::Skip;
  if (m_blank) return SectorAction::Write;
  return SectorAction::EraseAndWrite;
}

SectorAction DecideSectorAction(const SectorImage& image, std::uint32_t sectorSize,
                                const std::uint8_t* read, std::uint32_t readLength) {
  SectorComparison comparison(image, sectorSize);
  if (read != nullptr) comparison.Add(read, readLength);
  return comparison.Action();
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
