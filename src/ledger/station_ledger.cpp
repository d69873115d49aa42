#include "ledger/station_ledger.h"

#include "ledger/ledger_assignment.h"
#include "ledger/serial_proposal.h"

namespace kestrune {

LedgerIdentity IdentityOfRecord(const OtpBlock& record, const std::string& uniqueId) {
  std::uint64_t mac = 0;
  for (int i = 0; i < 6; ++i) mac = mac << 8 | record[i];
  const std::int32_t serial = record[12] | record[13] << 8 | record[14] << 16;
  return {serial, mac, (mac + 1) & 0xFFFFFFFFFFFFull, uniqueId};
}

StationLedger::StationLedger(std::unique_ptr<Ledger> ledger, std::string where, std::string station,
                             std::string queuePath)
    : m_ledger(std::move(ledger)),
      m_where(std::move(where)),
      m_station(std::move(station)),
      m_queuePath(std::move(queuePath)) {}

OperatorMessage StationLedger::Unreachable(const char* consequence) const {
  return {"Fehler",
          "Das Ledger " + m_where + " ist nicht erreichbar !\n\n" + m_ledger->LastError() + "\n\n" +
              consequence,
          OperatorIcon::Stop};
}

bool StationLedger::Propose(const RecordArray& ranges, std::int32_t nextSerial,
                            std::int32_t& proposal, OperatorMessage& refusal) {
  // Each contact also sends what waits in the queue.
  SendQueuedRuns(*m_ledger, m_queuePath);
  std::vector<std::int32_t> reserved;
  if (m_ledger->ReservedSerials(reserved) != LedgerStatus::Ok) {
    refusal = Unreachable("Es wird keine Seriennummer vergeben.");
    return false;
  }
  const std::optional<std::int32_t> free = ProposeSerial(ranges, nextSerial, reserved);
  if (!free) {
    refusal = {"Fehler",
               "In den Bereichen aus ./Infos/MacList.cfg ist keine Seriennummer mehr frei !",
               OperatorIcon::Stop};
    return false;
  }
  proposal = *free;
  return true;
}

LedgerStatus StationLedger::Reserve(const LedgerIdentity& identity, std::int64_t time,
                                    OperatorMessage& refusal) {
  const LedgerStatus status = m_ledger->Reserve(identity, m_station, time);
  if (status == LedgerStatus::Conflict) {
    refusal = {"Fehler", m_ledger->LastError() + "\n\nEs wird nichts in das Gerät geschrieben.",
               OperatorIcon::Stop};
  } else if (status != LedgerStatus::Ok) {
    refusal = Unreachable("Es wird nichts in das Gerät geschrieben.");
  }
  return status;
}

bool StationLedger::Confirm(const LedgerIdentity& identity, bool written, std::int64_t time,
                            OperatorMessage& warning) {
  const ReservationState state = written ? ReservationState::Written : ReservationState::Failed;
  if (m_ledger->Mark(identity.serial, identity.uniqueId, state, time) == LedgerStatus::Ok) {
    return true;
  }
  warning = {"Warnung",
             "Das Ergebnis konnte nicht in das Ledger " + m_where + " eingetragen werden !\n\n" +
                 m_ledger->LastError() +
                 "\n\nDie Seriennummer bleibt dort reserviert und wird nicht wieder vergeben.",
             OperatorIcon::Warning};
  return false;
}

RunRecordOutcome StationLedger::RecordVerifiedRun(RunRecord run, OperatorMessage& warning) {
  run.recordId = NewRunRecordId(run.time);
  run.station = m_station;
  const RunRecordOutcome outcome = RecordRun(*m_ledger, m_queuePath, run);
  if (outcome == RunRecordOutcome::Queued) {
    warning = {"Warnung",
               "Das Ledger " + m_where +
                   " ist nicht erreichbar !\n\nDer Eintrag dieses Laufs "
                   "wartet in ./Infos/LedgerQueue.csv und wird beim nächsten Kontakt gesendet.",
               OperatorIcon::Warning};
  } else if (outcome == RunRecordOutcome::Lost) {
    warning = {"Warnung",
               "Der Eintrag dieses Laufs konnte weder in das Ledger " + m_where +
                   " noch in ./Infos/LedgerQueue.csv geschrieben werden !",
               OperatorIcon::Warning};
  }
  return outcome;
}

}  // namespace kestrune
