#include "job/sector_pre_read.h"

#include <optional>

#include "dfu/memory_commands.h"

namespace kestrune {

PreReadResult PreReadSectors(DfuSession& session, DfuHandle handle, const FlashPlan& plan,
                             const std::uint8_t* image) {
  const std::vector<PlannedErase>& sectors = plan.erases;
  PreReadResult result{false,
                       std::vector<SectorAction>(sectors.size(), SectorAction::EraseAndWrite)};
  std::size_t next = 0;
  while (next < sectors.size()) {
    const std::uint32_t start = sectors[next].address;
    const std::uint32_t end = sectors.back().address + sectors.back().size;
    // Planned sectors are whole data blocks, so no block spans two of them.
    std::size_t current = next;
    std::optional<SectorComparison> comparison;
    const BlockReader take = [&](std::uint32_t, const std::uint8_t* bytes, std::uint32_t length) {
      if (!comparison) {
        comparison.emplace(ImageInSector(plan, sectors[current], image), sectors[current].size);
      }
      comparison->Add(bytes, length);
      const bool whole = comparison->Whole();
      if (!whole && comparison->MaySpareWork()) return true;
      result.actions[current] = comparison->Action();
      comparison.reset();
      ++current;
      // A sector read whole lets the stream go on into the next; one ruled out early ends it.
      return whole && current < sectors.size();
    };
    const TransferResult read = ReadMemoryWhile(session, handle, start, end - start, take);
    if (read == TransferResult::Aborted) return {true, {}};
    if (read != TransferResult::Done || current == next) break;
    next = current;
  }
  return result;
}

}  // namespace kestrune
