#include "cli/program_dry_run.h"

#include <cstdio>
#include <variant>
#include <vector>

#include "cli/cli.h"
#include "cli/console_lines.h"
#include "dfu/dfu_connection.h"
#include "dfu/memory_commands.h"
#include "job/firmware_image.h"
#include "job/flash_plan.h"
#include "job/required_option_bytes.h"
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

enum class OptionOutlook { Kept, Rewritten, Unprotected, ReadProtected, Unreadable };

// What the run would do first: leave the option bytes, rewrite them (the device resets), or on a
// read-protected device remove the protection, which erases the whole chip.
OptionOutlook ReadOptionOutlook(DfuSession& session, DfuHandle handle, std::uint32_t flashBytes,
                                bool unprotect) {
  OptionBits bytes{};
  if (ReadOptionBytes(session, handle, &bytes[0], &bytes[1], &bytes[2], &bytes[3])) {
    return HasRequiredOptionBytes(bytes, flashBytes) ? OptionOutlook::Kept
                                                     : OptionOutlook::Rewritten;
  }
  if (session.lastErrorStatus != errVENDOR) return OptionOutlook::Unreadable;
  return unprotect ? OptionOutlook::Unprotected : OptionOutlook::ReadProtected;
}

const char* OutlookText(OptionOutlook outlook) {
  switch (outlook) {
    case OptionOutlook::Kept:
      return "option bytes  as required, left alone";
    case OptionOutlook::Rewritten:
      return "option bytes  rewritten (read protection 0, no write protection); the device resets";
    case OptionOutlook::Unprotected:
      return "read protection  removed, which erases the whole chip; the device resets";
    case OptionOutlook::ReadProtected:
    case OptionOutlook::Unreadable:
      break;
  }
  return "";
}

}  // namespace

int PrintProgramPlan(StdfuLibrary& dfu, Clock& clock, const JobDevice& device,
                     const std::string& firmwarePath, DryRunChoices choices,
                     const ConsoleOptions& console, const std::atomic<int>& abortRequested) {
  const FirmwareImage image = LoadFirmwareImage(firmwarePath);
  const FlashPlanResult result =
      MakeFlashPlan(image.size, device.memoryMap.get(), device.flashSize);
  if (const auto* refused = std::get_if<PlanRefused>(&result)) {
    return Fail(console, kExitRefused, RefusalText(*refused));
  }
  const FlashPlan& plan = std::get<FlashPlan>(result);

  DfuConnection connection(dfu, device.devicePath);
  if (!connection.IsOpen()) {
    return Fail(console, kExitFailed, "Das Gerät konnte nicht geöffnet werden !");
  }
  DfuSession session{dfu, clock, &abortRequested, nullptr, {}};
  const OptionOutlook outlook =
      ReadOptionOutlook(session, connection.Handle(), device.flashSize, choices.unprotect);
  if (abortRequested.load() != 0) return kExitAborted;
  if (outlook == OptionOutlook::Unreadable) {
    return Fail(console, kExitFailed, "Vom Gerät konnten die Optionen nicht abgefragt werden !");
  }
  if (outlook == OptionOutlook::ReadProtected) {
    return Fail(console, kExitFailed,
                "the device is read-protected (level 1): a run would stop before the flash; "
                "--unprotect removes the protection, which erases the whole chip");
  }

  std::vector<SectorAction> actions(plan.erases.size(), SectorAction::EraseAndWrite);
  if (outlook == OptionOutlook::Unprotected) {
    // The chip is blank once the protection is gone: a run that reads first finds every sector
    // so; the protected chip itself refuses the reads.
    if (choices.skipUnchanged) actions.assign(plan.erases.size(), SectorAction::Write);
  } else if (choices.skipUnchanged) {
    if (!connection.SelectAlternate(plan.alternate)) {
      return Fail(console, kExitFailed, "Das Gerät konnte nicht geöffnet werden !");
    }
    PreReadResult read = PreReadSectors(session, connection.Handle(), plan, image.bytes.data());
    if (read.aborted) return kExitAborted;
    actions = std::move(read.actions);
  }

  ConsoleLines lines(console);
  lines.PrintLine(console.out, OutlookText(outlook));
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
