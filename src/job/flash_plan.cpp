#include "job/flash_plan.h"

#include <cstdio>

#include "device/memory_map.h"
#include "firmware/firmware_size.h"

namespace kestrune {
namespace {

// The first segment whose first sector is writable flash; later sectors are not looked at.
const MemorySegment* FindFlashSegment(const MemoryMap& map, std::uint32_t& alternate) {
  for (std::size_t i = 0; i < map.segments.size(); ++i) {
    const MemorySegment& segment = map.segments[i];
    if (segment.sectorCount != 0 && !segment.sectors.empty() &&
        segment.sectors.front().attribute == kWritableAttribute) {
      alternate = static_cast<std::uint32_t>(i);
      return &segment;
    }
  }
  return nullptr;
}

// Every sector that erasing will reach is checked, and the one behind it for a gap, though that
// one may never be erased.
FlashPlanResult PlanErases(const std::vector<MemorySector>& sectors, FlashPlan plan) {
  std::uint32_t covered = 0;
  for (std::size_t c = 0; c < sectors.size() && covered < plan.imageSize; ++c) {
    const MemorySector& sector = sectors[c];
    if (sector.size % kEraseAlignment != 0) {
      return PlanRefused{PlanRefusal::SectorAlignment, plan.imageSize};
    }
    const std::uint32_t end = sector.startAddress + sector.size;
    if (c + 1 < sectors.size() && end != sectors[c + 1].startAddress) {
      return PlanRefused{PlanRefusal::FlashGap, plan.imageSize, end, sectors[c + 1].startAddress};
    }
    plan.erases.push_back({static_cast<std::uint32_t>(c), sector.startAddress, sector.size});
    covered += sector.size;
  }
  return plan;
}

}  // namespace

FlashPlanResult MakeFlashPlan(std::int64_t imageSize, const MemoryMap* map,
                              std::uint32_t flashSize) {
  const auto size = static_cast<std::uint32_t>(imageSize < 0 ? 0 : imageSize);
  if (map == nullptr) return PlanRefused{PlanRefusal::NoDeviceData, size};
  FlashPlan plan;
  const MemorySegment* flash = FindFlashSegment(*map, plan.alternate);
  if (flash == nullptr) return PlanRefused{PlanRefusal::NoFlash, size};
  if (imageSize < 0 || !IsProgrammableSize(static_cast<std::uint64_t>(imageSize))) {
    return PlanRefused{PlanRefusal::ImageSize, size};
  }
  if (size >= flashSize) return PlanRefused{PlanRefusal::DoesNotFit, size};
  plan.startAddress = flash->sectors.front().startAddress;
  plan.imageSize = size;
  return PlanErases(flash->sectors, std::move(plan));
}

std::string RefusalText(const PlanRefused& refused) {
  char text[128];
  switch (refused.reason) {
    case PlanRefusal::NoDeviceData:
      return "Es sind keine Gerätedaten vorhanden !";
    case PlanRefusal::NoFlash:
      return "In den Gerätedaten konnte kein Flash-Speicher gefunden werden !";
    case PlanRefusal::ImageSize:
      return "Die Firmware-Datei existiert nicht, oder hat die falsche Größe !";
    case PlanRefusal::DoesNotFit:
      std::snprintf(text, sizeof text,
                    "Die Firmware passt nicht in den Flash (Firmware = %u.%u kB) !",
                    refused.imageSize / 1024, refused.imageSize % 1024 * 10 / 1024);
      return text;
    case PlanRefusal::SectorAlignment:
      return "Falsches Flash Alignment !";
    case PlanRefusal::FlashGap:
      std::snprintf(text, sizeof text, "Der Flash im Gerät ist nicht durchgehent (%08Xh..%08Xh) !",
                    refused.gapStart, refused.gapEnd);
      return text;
  }
  return {};
}

}  // namespace kestrune
