#include "app/mac_setzen.h"

#include "serials/identity_assignment.h"
#include "serials/identity_write.h"
#include "serials/mac_range.h"

namespace kestrune {
namespace {

// Writes the record into block `block` and tells the operator when that failed: the steps after
// the block was chosen.
MacSetzenOutcome WriteBlock(const MacSetzenServices& services, MacSetzenState& state,
                            const OtpBlock& record, std::uint32_t block) {
  IdentityOperator& asker = services.asker;
  DfuSession session{services.stdfu, services.clock, &state.shared.m_abortRequested,
                     &state.shared.m_progressPos, services.progressNotice};
  const IdentityWriteOutcome written = WriteIdentityBlock(session, state.devicePath, block, record);
  if (DeviceMayHaveChanged(written)) state.rescanRequested = 1;
  switch (written) {
    case IdentityWriteOutcome::NotOpened:
      asker.Tell(IdentityNotice::NotOpened);
      return MacSetzenOutcome::OpenFailed;
    case IdentityWriteOutcome::NotSelected:
      asker.Tell(IdentityNotice::NotProgrammed);
      return MacSetzenOutcome::SelectFailed;
    case IdentityWriteOutcome::NotWritten:
      asker.Tell(IdentityNotice::NotProgrammed);
      return MacSetzenOutcome::WriteFailed;
    case IdentityWriteOutcome::NotReadBack:
      asker.Tell(IdentityNotice::NotChecked);
      return MacSetzenOutcome::ReadBackFailed;
    case IdentityWriteOutcome::ReadBackDifferent:
      asker.Tell(IdentityNotice::Differs);
      return MacSetzenOutcome::Differs;
    case IdentityWriteOutcome::Written:
      break;
  }
  return MacSetzenOutcome::Written;
}

// With a ledger the identity is the device's there before it goes into the OTP area, and the
// ledger learns how the write ended: a number never leaves the ledger, whatever happens here.
// `proposed`: the record carries the ledger's own proposal, not a number the operator chose.
MacSetzenOutcome WriteReserved(const MacSetzenServices& services, MacSetzenState& state,
                               const OtpBlock& record, std::uint32_t block, bool proposed) {
  if (state.ledger == nullptr) return WriteBlock(services, state, record, block);
  IdentityOperator& asker = services.asker;
  const std::string uniqueId = state.uniqueId != nullptr ? *state.uniqueId : std::string();
  if (uniqueId.empty()) {
    asker.Tell(OperatorMessage{"Fehler",
                               "Die Unique-ID des Gerätes ist nicht bekannt: das Ledger vergibt "
                               "keine Seriennummer an ein Gerät, das es nicht kennt !",
                               OperatorIcon::Stop});
    return MacSetzenOutcome::LedgerRefused;
  }
  const LedgerIdentity identity = IdentityOfRecord(record, uniqueId);
  OperatorMessage message;
  const LedgerStatus reserved = state.ledger->Reserve(identity, services.now(), message);
  if (reserved == LedgerStatus::Conflict && proposed) {
    // Another station took the proposal while this one confirmed it: that is no fault of the
    // operator's, who is shown the next free number.
    asker.Tell(OperatorMessage{"Warnung",
                               "Die Seriennummer " + std::to_string(identity.serial) +
                                   " wurde inzwischen an einer anderen Station vergeben: die "
                                   "nächste freie wird vorgeschlagen.",
                               OperatorIcon::Warning});
    return MacSetzenOutcome::TakenMeanwhile;
  }
  if (reserved != LedgerStatus::Ok) {
    asker.Tell(message);
    return MacSetzenOutcome::LedgerRefused;
  }
  const MacSetzenOutcome outcome = WriteBlock(services, state, record, block);
  if (!state.ledger->Confirm(identity, outcome == MacSetzenOutcome::Written, services.now(),
                             message)) {
    asker.Tell(message);
  }
  return outcome;
}

// Without a device there is nothing to open; which block is free is known only from the copy
// that discovery read.
bool DeviceKnown(IdentityOperator& asker, const MacSetzenState& state, MacSetzenResult& result) {
  if (state.devicePath.empty()) {
    asker.Tell(IdentityNotice::NotOpened);
    result.outcome = MacSetzenOutcome::OpenFailed;
    return false;
  }
  if (state.identityState == IdentityState::NotRead) {
    asker.Tell(IdentityNotice::NotRead);
    result.outcome = MacSetzenOutcome::NotRead;
    return false;
  }
  return true;
}

// One proposal, from the questions to the read-back.
MacSetzenResult AssignOnce(const MacSetzenServices& services, MacSetzenState& state) {
  IdentityOperator& asker = services.asker;
  MacSetzenResult result;
  // No run is active: a stop request left over from an aborted run must not stop this transfer.
  state.shared.m_abortRequested.store(0);

  // Without a range there are no addresses to hand out and no complete record to write.
  if (state.ranges.Count() == 0) {
    asker.Tell(IdentityNotice::NoRange);
    result.outcome = MacSetzenOutcome::NoRange;
    return result;
  }
  if (!DeviceKnown(asker, state, result)) return result;

  SerialNumberDialog dialog;
  dialog.m_now = services.now;
  dialog.m_calendar = services.calendar;
  const bool replacing = state.identityState == IdentityState::Present;
  if (replacing && !asker.ReplaceIdentity()) return result;
  std::int32_t proposal = state.nextSerial;
  if (state.ledger != nullptr && state.ledgerProposes) {
    OperatorMessage refusal;
    if (!state.ledger->Propose(state.ranges, state.nextSerial, proposal, refusal)) {
      asker.Tell(refusal);
      result.outcome = MacSetzenOutcome::LedgerRefused;
      return result;
    }
  }
  OtpBlock record;
  record.fill(0xFF);
  dialog.m_serial = proposal;
  dialog.m_record = &record;
  dialog.m_ranges = &state.ranges;
  if (FindMacRange(state.ranges, proposal) < 0 && !asker.AcceptSerialOutsideRanges()) {
    return result;
  }
  if (!asker.ConfirmRecord(dialog)) return result;
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
  if (!DeviceKnown(asker, state, result)) return result;
  if (!replacing && state.identityState == IdentityState::Present && !asker.ReplaceIdentity()) {
    return result;
  }

  const OtpTarget target = ChooseOtpBlock(state.otpImage, record);
  result.block = target.target;
  if (target.choice == OtpBlockChoice::AlreadyInDevice) {
    asker.Tell(IdentityNotice::AlreadyInDevice);
    result.outcome = MacSetzenOutcome::AlreadyInDevice;
    return result;
  }
  if (target.choice == OtpBlockChoice::AreaFull) {
    asker.Tell(IdentityNotice::AreaFull);
    result.outcome = MacSetzenOutcome::AreaFull;
    return result;
  }
  const bool proposed = state.ledger != nullptr && state.ledgerProposes &&
                        IdentityOfRecord(record, {}).serial == proposal;
  result.outcome = WriteReserved(services, state, record, target.target, proposed);
  return result;
}

}  // namespace

MacSetzenResult MacSetzen(const MacSetzenServices& services, MacSetzenState& state) {
  // Stations that race for the lowest free number lose now and then; a few proposals settle it.
  constexpr int kProposals = 10;
  MacSetzenResult result;
  for (int proposal = 0; proposal < kProposals; ++proposal) {
    result = AssignOnce(services, state);
    if (result.outcome != MacSetzenOutcome::TakenMeanwhile) return result;
  }
  services.asker.Tell(OperatorMessage{"Fehler",
                                      "Andere Stationen haben jede vorgeschlagene Seriennummer "
                                      "zuerst vergeben: es wurde keine vergeben !",
                                      OperatorIcon::Stop});
  result.outcome = MacSetzenOutcome::LedgerRefused;
  return result;
}

}  // namespace kestrune
