#include "app/mac_setzen.h"

#include "app/operator_box.h"
#include "job/run_commands.h"
#include "serials/identity_assignment.h"
#include "serials/identity_write.h"
#include "serials/mac_range.h"

namespace kestrune {
namespace {

MessageResult Tell(Window& window, const char* caption, const char* text, MessageIcon icon,
                   MessageButtons buttons = MessageButtons::Ok) {
  return window.ShowMessageBox(caption, text, buttons, icon);
}

void Fail(Window& window, const char* text) {
  Tell(window, "Fehler", text, MessageIcon::Stop);
}

// Writes the record into block `block` and tells the operator when that failed: the steps after
// the block was chosen.
MacSetzenOutcome WriteBlock(const MacSetzenServices& services, MacSetzenState& state,
                            const OtpBlock& record, std::uint32_t block) {
  Window& window = services.window;
  DfuSession session{services.stdfu, services.clock, &state.shared.m_abortRequested,
                     &state.shared.m_progressPos,
                     [&window] { window.PostCommand(ID_RUN_PROGRESS); }};
  const IdentityWriteOutcome written = WriteIdentityBlock(session, state.devicePath, block, record);
  if (DeviceMayHaveChanged(written)) state.rescanRequested = 1;
  switch (written) {
    case IdentityWriteOutcome::NotOpened:
      Fail(window, "Das Gerät konnte nicht geöffnet werden !");
      return MacSetzenOutcome::OpenFailed;
    case IdentityWriteOutcome::NotSelected:
      Fail(window, "Fehler beim Programmieren !");
      return MacSetzenOutcome::SelectFailed;
    case IdentityWriteOutcome::NotWritten:
      Fail(window, "Fehler beim Programmieren !");
      return MacSetzenOutcome::WriteFailed;
    case IdentityWriteOutcome::NotReadBack:
      Fail(window, "Fehler beim Prüfen !");
      return MacSetzenOutcome::ReadBackFailed;
    case IdentityWriteOutcome::ReadBackDifferent:
      Fail(window, "Die Daten wurden nicht gültig programmiert !");
      return MacSetzenOutcome::Differs;
    case IdentityWriteOutcome::Written:
      break;
  }
  return MacSetzenOutcome::Written;
}

// Without a device there is nothing to open; which block is free is known only from the copy
// that discovery read.
bool DeviceKnown(Window& window, const MacSetzenState& state, MacSetzenResult& result) {
  if (state.devicePath.empty()) {
    Fail(window, "Das Gerät konnte nicht geöffnet werden !");
    result.outcome = MacSetzenOutcome::OpenFailed;
    return false;
  }
  if (state.identityState == 0) {
    Fail(window, "Die Speicherplätze des Gerätes konnten nicht gelesen werden !");
    result.outcome = MacSetzenOutcome::NotRead;
    return false;
  }
  return true;
}

bool ReplaceConfirmed(Window& window) {
  return Tell(window, "Warnung",
              "Das Gerät hat bereits eine Seriennummer !\n\nSoll diese ersetzt werden ?",
              MessageIcon::Warning, MessageButtons::YesNo) == MessageResult::Yes;
}

}  // namespace

MacSetzenResult MacSetzen(const MacSetzenServices& services, MacSetzenState& state) {
  Window& window = services.window;
  MacSetzenResult result;
  // No run is active: a stop request left over from an aborted run must not stop this transfer.
  state.shared.m_abortRequested.store(0);

  // Without a range there are no addresses to hand out and no complete record to write.
  if (state.ranges.Count() == 0) {
    Tell(window, "Warnung", "In ./Infos/MacList.cfg ist kein gültiger Bereich eingetragen !",
         MessageIcon::Warning);
    result.outcome = MacSetzenOutcome::NoRange;
    return result;
  }
  if (!DeviceKnown(window, state, result)) return result;

  SerialNumberDialog dialog;
  dialog.m_now = services.now;
  dialog.m_calendar = services.calendar;
  const bool replacing = state.identityState == kIdentityPresent;
  if (replacing && !ReplaceConfirmed(window)) return result;
  std::int32_t proposal = state.nextSerial;
  if (state.ledger != nullptr && state.ledgerProposes) {
    OperatorMessage refusal;
    if (!state.ledger->Propose(state.ranges, state.nextSerial, proposal, refusal)) {
      ShowOperatorMessage(window, refusal);
      result.outcome = MacSetzenOutcome::LedgerRefused;
      return result;
    }
  }
  OtpBlock record;
  record.fill(0xFF);
  dialog.m_serial = proposal;
  dialog.m_record = &record;
  dialog.m_ranges = &state.ranges;
  if (FindMacRange(state.ranges, proposal) < 0 &&
      Tell(window, "Warnung",
           "Die aktuelle Seriennummer ist außerhalb des Bereiches aus ./Infos/MacList.cfg !",
           MessageIcon::Warning, MessageButtons::OkCancel) != MessageResult::Ok) {
    return result;
  }
  if (!services.runDialog || !services.runDialog(dialog) || !dialog.m_recordFilled) return result;
  result.record = record;
  if (state.runActive != nullptr && *state.runActive != 0) {
    result.outcome = MacSetzenOutcome::RunActive;
    return result;
  }
  // The device may have changed while the dialog was open (another assignment, a device
  // plugged in): the block is chosen from a fresh copy of the OTP area, never from the one read
  // before, and an identity the device has gained meanwhile is asked about.
  if (state.rescanRequested != 0 && state.rediscover) {
    state.rescanRequested = 0;
    state.rediscover();
  }
  if (!DeviceKnown(window, state, result)) return result;
  if (!replacing && state.identityState == kIdentityPresent && !ReplaceConfirmed(window)) {
    return result;
  }

  const OtpTarget target = ChooseOtpBlock(state.otpImage, record);
  result.block = target.target;
  if (target.choice == OtpBlockChoice::AlreadyInDevice) {
    Tell(window, "Information", "Diese Seriennummer ist bereits im Gerät !",
         MessageIcon::Information);
    result.outcome = MacSetzenOutcome::AlreadyInDevice;
    return result;
  }
  if (target.choice == OtpBlockChoice::AreaFull) {
    Fail(window, "Alle Speicherplätze sind auf gebraucht !");
    result.outcome = MacSetzenOutcome::AreaFull;
    return result;
  }
  if (state.ledger == nullptr) {
    result.outcome = WriteBlock(services, state, record, target.target);
    return result;
  }
  const LedgerIdentity identity =
      IdentityOfRecord(record, state.uniqueId != nullptr ? *state.uniqueId : std::string());
  OperatorMessage message;
  if (identity.uniqueId.empty()) {
    Fail(window, "Die Unique ID des Gerätes konnte nicht gelesen werden !");
    result.outcome = MacSetzenOutcome::LedgerRefused;
    return result;
  }
  if (!state.ledger->Reserve(identity, services.now(), message)) {
    ShowOperatorMessage(window, message);
    result.outcome = MacSetzenOutcome::LedgerRefused;
    return result;
  }
  result.outcome = WriteBlock(services, state, record, target.target);
  if (!state.ledger->Confirm(identity, result.outcome == MacSetzenOutcome::Written, services.now(),
                             message)) {
    ShowOperatorMessage(window, message);
  }
  return result;
}

}  // namespace kestrune
