#pragma once
// What a run will do to the flash, decided from the image size and the device's memory map before
// the device is touched: which segment, where the image goes, which sectors are erased, and every
// reason to refuse that is known in advance. A refused image leaves the device as it was.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kestrune {

struct MemoryMap;

struct PlannedErase {
  std::uint32_t index = 0;    // the sector's number within the flash segment
  std::uint32_t address = 0;  // its start
  std::uint32_t size = 0;
};

struct FlashPlan {
  std::uint32_t alternate = 0;     // the flash segment's index in the map
  std::uint32_t startAddress = 0;  // first sector of the segment: where the image's byte 0 goes
  std::uint32_t imageSize = 0;
  // From the segment's first sector on until the image is covered, or the segment ends: a
  // segment shorter than the image is erased whole and the image is programmed all the same.
  std::vector<PlannedErase> erases;
};

enum class PlanRefusal {
  NoDeviceData,     // no memory map
  NoFlash,          // no segment whose first sector is writable flash
  ImageSize,        // outside the programmable sizes (a missing file has size 0)
  DoesNotFit,       // not smaller than the device's writable flash
  SectorAlignment,  // a sector to erase is not whole data blocks
  FlashGap,         // a sector to erase does not end where the next one starts
};

struct PlanRefused {
  PlanRefusal reason = PlanRefusal::NoDeviceData;
  std::uint32_t imageSize = 0;
  // For FlashGap: the end of the sector and the start of the next one.
  std::uint32_t gapStart = 0;
  std::uint32_t gapEnd = 0;
};

using FlashPlanResult = std::variant<FlashPlan, PlanRefused>;

// Erased sectors must hold whole data blocks.
inline constexpr std::uint32_t kEraseAlignment = 2048;

// Pure: `map` may be null, `flashSize` is the device's writable flash in bytes.
FlashPlanResult MakeFlashPlan(std::int64_t imageSize, const MemoryMap* map,
                              std::uint32_t flashSize);

// The error box text of a refusal.
std::string RefusalText(const PlanRefused& refused);

}  // namespace kestrune
