// Interface strings as a device sends them: one per line of the input, parsed into a map the way
// discovery does, under one sector budget for all of them.

#include "device/memory_map.h"
#include "fuzz_support.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest = fuzz::AsText(data, size);
  MemoryMap map;
  std::uint32_t budget = kMaxMemoryMapSectors;
  for (std::uint8_t alternate = 0; !rest.empty() && alternate < 16; ++alternate) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view text = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));

    const std::optional<MemorySegment> segment = ParseMemorySegment(text, alternate, budget);
    if (!segment) continue;
    fuzz::Require(segment->sectorCount > 0 && segment->sectorCount <= budget,
                  "a segment has sectors, no more than the budget");
    fuzz::Require(segment->sectors.size() == segment->sectorCount,
                  "a segment holds exactly the sectors it declares");
    for (std::uint32_t i = 0; i < segment->sectorCount; ++i) {
      const MemorySector& sector = segment->sectors[i];
      fuzz::Require(sector.index == i, "sectors are numbered in order from 0");
      fuzz::Require(sector.size > 0, "no sector is empty");
      fuzz::Require(sector.size - 1 <= 0xFFFFFFFFu - sector.startAddress,
                    "no sector runs past the end of the address space");
      fuzz::Require(sector.flag == 1, "every parsed sector is flagged");
    }
    budget -= segment->sectorCount;
    map.segments.push_back(*segment);
  }
  const std::uint32_t writable = WritableFlashSize(map);
  for (const MemorySegment& segment : map.segments) {
    for (const MemorySector& sector : segment.sectors) {
      if (sector.attribute == kWritableAttribute) {
        fuzz::Require(writable >= sector.size, "the writable size holds every writable sector");
      }
    }
  }
  return 0;
}
