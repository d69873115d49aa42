#pragma once
// Reads a planned sector before the run touches it, to learn whether its erase or its write can
// be spared. The first block is read alone: a sector that differs there (the common case for a
// different image) costs one block, not the whole sector.

#include <cstdint>

#include "dfu/dfu_session.h"
#include "dfu/stdfu.h"
#include "job/flash_plan.h"
#include "job/sector_actions.h"

namespace kestrune {

struct PreReadResult {
  bool aborted = false;  // the stop request came; `action` means nothing then
  SectorAction action = SectorAction::EraseAndWrite;
};

// Needs an open connection with the flash alternate selected. A read that fails or ends short
// leaves the sector in doubt: EraseAndWrite. Nothing is written.
PreReadResult PreReadSector(DfuSession& session, DfuHandle handle, const FlashPlan& plan,
                            const PlannedErase& sector, const std::uint8_t* image);

}  // namespace kestrune
