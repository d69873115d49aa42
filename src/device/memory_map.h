#pragma once
// The DfuSe memory map: every alternate setting of the DFU interface names a memory area in its
// interface string ("@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg"), parsed into one
// record per sector. The map is built whole or not at all: a device whose strings cannot all be
// read and parsed has no map.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dfu/stdfu.h"

namespace kestrune {

struct MemorySector {
  std::uint32_t startAddress = 0;
  // Advances with startAddress; differs only where the address field is a pair "A-B".
  std::uint32_t secondAddress = 0;
  std::uint32_t index = 0;  // number within its segment, from 0 across all groups and addresses
  std::uint32_t size = 0;   // bytes
  char attribute = 0;       // 'g': readable, erasable and writable flash
  std::int32_t flag = 0;    // 1 for every parsed sector
};

struct MemorySegment {
  std::uint8_t alternateSetting = 0;
  std::string name;  // between '@' and the first '/', trailing blanks kept
  std::uint32_t sectorCount = 0;
  std::vector<MemorySector> sectors;  // exactly sectorCount records
};

// One segment per alternate setting, in alternate-setting order.
struct MemoryMap {
  std::vector<MemorySegment> segments;
};

// The attribute letter of writable flash.
inline constexpr char kWritableAttribute = 'g';

// Device strings are data from outside: a map may declare at most this many sectors in all, so
// that a string such as "@x/0/99999999*1Kg" is refused instead of allocated.
inline constexpr std::uint32_t kMaxMemoryMapSectors = 65536;

// Parses one interface string (the text up to its NUL). Fails for a string that does not start
// with '@', has no '/', declares no sector or more than `sectorBudget`, or whose groups do not
// describe exactly the sectors that its '*' counts declare (no partly filled segment is made).
// A group also fails when its multiplier or attribute letter is missing, its size is 0 or does
// not fit 32 bits, or its sectors run past the end of the 32-bit address space.
std::optional<MemorySegment> ParseMemorySegment(std::string_view text,
                                                std::uint8_t alternateSetting,
                                                std::uint32_t sectorBudget = kMaxMemoryMapSectors);

// Reads and parses the interface string of every alternate setting 0 .. alternateCount - 1 of
// DFU interface `dfuInterface` (configuration 0) on the open connection. Null when there is no
// alternate setting, more than 256 of them, or any setting cannot be read or parsed.
std::unique_ptr<MemoryMap> ParseMemoryMap(StdfuLibrary& dfu, DfuHandle* handle,
                                          std::uint32_t dfuInterface, std::uint32_t alternateCount);

// Releases the map (if any) and leaves none.
inline void FreeMemoryMap(std::unique_ptr<MemoryMap>& map) {
  map.reset();
}

// Bytes of writable flash: the sizes of all 'g' sectors over all segments, held at 0xFFFFFFFF
// rather than wrapping.
std::uint32_t WritableFlashSize(const MemoryMap& map);

}  // namespace kestrune
