#pragma once
// What a run that skips unchanged flash does to each planned sector, decided from what the
// sector holds now: nothing when it already holds what a plain run leaves there (the image's
// bytes, 0xFF behind them), a write without erase when it is blank, an erase and a write
// otherwise. Whatever was not read whole is in doubt and is erased and written.

#include <cstdint>
#include <vector>

#include "job/flash_plan.h"

namespace kestrune {

enum class SectorAction { Skip, Write, EraseAndWrite };

// The image's bytes that go into `sector` of `plan` (the image starts at plan.startAddress).
struct SectorImage {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t length = 0;  // at most the sector's size; the rest of the sector stays 0xFF
};
SectorImage ImageInSector(const FlashPlan& plan, const PlannedErase& sector,
                          const std::uint8_t* image);

// A sector's bytes compared, as they are read in order, with what a plain run leaves there.
class SectorComparison {
 public:
  SectorComparison(const SectorImage& image, std::uint32_t sectorSize)
      : m_image(image), m_sectorSize(sectorSize) {}
  // The next `length` bytes of the sector.
  void Add(const std::uint8_t* bytes, std::uint32_t length);
  // Whether the bytes so far still allow Skip or Write; once not, reading on is wasted.
  bool MaySpareWork() const { return m_equal || m_blank; }
  bool Whole() const { return m_read >= m_sectorSize; }
  // Skip or Write only when the whole sector was read.
  SectorAction Action() const;

 private:
  SectorImage m_image;
  std::uint32_t m_sectorSize;
  std::uint32_t m_read = 0;
  bool m_equal = true;  // the image's bytes, then 0xFF
  bool m_blank = true;  // 0xFF only
};

// The action for a sector of `sectorSize` bytes whose first `readLength` bytes were read into
// `read`.
SectorAction DecideSectorAction(const SectorImage& image, std::uint32_t sectorSize,
                                const std::uint8_t* read, std::uint32_t readLength);

// A stretch of the image to write and verify: `offset` from the image's start.
struct ImageRange {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
  bool operator==(const ImageRange&) const = default;
};

// The stretches of the image outside the skipped sectors, adjacent ones joined; `actions` holds
// one action per planned sector. Image bytes behind the last planned sector are always written.
std::vector<ImageRange> RangesToWrite(const FlashPlan& plan,
                                      const std::vector<SectorAction>& actions);

}  // namespace kestrune
