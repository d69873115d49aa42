#include "cli/program_dry_run.h"

#include <cstdio>
#include <variant>
#include <vector>

#include "cli/cli.h"
#include "cli/console_lines.h"
#include "dfu/dfu_connection.h"
#include "job/firmware_image.h"
#include "job/flash_plan.h"
#include "job/sector_actions.h"
#include "job/sector_pre_read.h"

namespace kestrune::cli {
namespace {

const char* ActionText(SectorAction action) {
  switch (action) {
    case SectorAction::Skip:
      return "skip (unchanged)";
    case SectorAction::Write:
      return "write (blank)";
    case SectorAction::EraseAndWrite:
      return "erase and write";
  }
  return "?";
}

int Fail(const ConsoleOptions& console, int status, const std::string& text) {
  ConsoleLines(console).PrintLine(console.err, "Fehler: " + text);
  if (console.errors != nullptr) console.errors->push_back(text);
  return status;
}

}  // namespace

int PrintProgramPlan(StdfuLibrary& dfu, Clock& clock, const JobDevice& device,
                     const std::string& firmwarePath, bool skipUnchanged,
                     const ConsoleOptions& console, const std::atomic<int>& abortRequested) {
  const FirmwareImage image = LoadFirmwareImage(firmwarePath);
  const FlashPlanResult result =
      MakeFlashPlan(image.size, device.memoryMap.get(), device.flashSize);
  if (const auto* refused = std::get_if<PlanRefused>(&result)) {
    return Fail(console, kExitRefused, RefusalText(*refused));
  }
  const FlashPlan& plan = std::get<FlashPlan>(result);

  std::vector<SectorAction> actions(plan.erases.size(), SectorAction::EraseAndWrite);
  if (skipUnchanged) {
    DfuConnection connection(dfu, device.devicePath);
    if (!connection.IsOpen() || !connection.SelectAlternate(plan.alternate)) {
      return Fail(console, kExitFailed, "Das Gerät konnte nicht geöffnet werden !");
    }
    DfuSession session{dfu, clock, &abortRequested, nullptr, {}};
    PreReadResult read = PreReadSectors(session, connection.Handle(), plan, image.bytes.data());
    if (read.aborted) return kExitAborted;
    actions = std::move(read.actions);
  }

  ConsoleLines lines(console);
  char text[160];
  std::uint32_t erased = 0;
  for (std::size_t i = 0; i < plan.erases.size(); ++i) {
    const PlannedErase& sector = plan.erases[i];
    const std::uint32_t bytes = actions[i] == SectorAction::Skip
                                    ? 0
                                    : ImageInSector(plan, sector, image.bytes.data()).length;
    erased += actions[i] == SectorAction::EraseAndWrite;
    std::snprintf(text, sizeof text, "sector %2u  %08Xh  %4u KiB  %-17s %7u bytes to write",
                  sector.index, sector.address, sector.size / 1024, ActionText(actions[i]), bytes);
    lines.PrintLine(console.out, text);
  }
  std::uint32_t moved = 0;
  for (const ImageRange& range : RangesToWrite(plan, actions)) moved += range.length;
  std::snprintf(text, sizeof text,
                "erase %u of %u sectors, write and verify %u of %u bytes; the device was not "
                "changed",
                erased, static_cast<unsigned>(plan.erases.size()), moved, plan.imageSize);
  lines.PrintLine(console.out, text);
  return kExitOk;
}

}  // namespace kestrune::cli
