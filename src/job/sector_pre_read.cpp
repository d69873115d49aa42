#include "job/sector_pre_read.h"

#include <algorithm>
#include <vector>

#include "dfu/memory_commands.h"

namespace kestrune {

PreReadResult PreReadSector(DfuSession& session, DfuHandle handle, const FlashPlan& plan,
                            const PlannedErase& sector, const std::uint8_t* image) {
  const SectorImage expected = ImageInSector(plan, sector, image);
  std::vector<std::uint8_t> read(sector.size);
  std::uint32_t readLength = 0;
  const auto readPart = [&](std::uint32_t length) {
    const TransferResult result =
        ReadMemory(session, handle, sector.address + readLength, length, read.data() + readLength);
    if (result == TransferResult::Done) readLength += length;
    return result;
  };
  const std::uint32_t first = std::min(sector.size, kDataBlockSize);
  TransferResult result = readPart(first);
  if (result == TransferResult::Done && readLength < sector.size &&
      MaySpareWork(expected, read.data(), readLength)) {
    result = readPart(sector.size - readLength);
  }
  if (result == TransferResult::Aborted) return {true, SectorAction::EraseAndWrite};
  return {false, DecideSectorAction(expected, sector.size, read.data(), readLength)};
}

}  // namespace kestrune
