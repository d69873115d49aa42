#pragma once
// Reads the planned sectors before the run touches them, to learn which erases and writes can be
// spared. The sectors are read as one stream from a single address pointer (setting it costs a
// boot loader up to 100 ms); a sector whose first bytes already rule out both savings ends the
// stream, and reading goes on at the next sector.

#include <cstdint>
#include <vector>

#include "dfu/dfu_session.h"
#include "dfu/stdfu.h"
#include "job/flash_plan.h"
#include "job/sector_actions.h"

namespace kestrune {

struct PreReadResult {
  bool aborted = false;               // the stop request came; `actions` mean nothing then
  std::vector<SectorAction> actions;  // one per planned sector
};

// Needs an open connection with the flash alternate selected. A read that fails or ends short
// leaves its sector and every one behind it in doubt: EraseAndWrite. Nothing is written.
PreReadResult PreReadSectors(DfuSession& session, DfuHandle handle, const FlashPlan& plan,
                             const std::uint8_t* image);

}  // namespace kestrune
