#pragma once
// A station's side of the ledger, as identity assignment and programming runs use it: the
// ledger, the station's name, its queue of run records, and what the operator is told. Every
// failure comes back as a message for the operator; the caller shows it.

#include <cstdint>
#include <memory>
#include <string>

#include "device/device_identity.h"
#include "ledger/ledger.h"
#include "ledger/run_queue.h"
#include "serials/operator_message.h"
#include "support/record_array.h"

namespace kestrune {

// The identity an OTP record carries: its serial number (24 bits) and its two MAC addresses.
LedgerIdentity IdentityOfRecord(const OtpBlock& record, const std::string& uniqueId);

class StationLedger {
 public:
  StationLedger(std::unique_ptr<Ledger> ledger, std::string where, std::string station,
                std::string queuePath);

  // The serial number to propose: the lowest free one from `nextSerial` on, in a range. False,
  // with the message, when the ledger cannot be reached or the ranges are used up: then no
  // identity is assigned.
  bool Propose(const RecordArray& ranges, std::int32_t nextSerial, std::int32_t& proposal,
               OperatorMessage& refusal);

  // Reserves the identity for the device before it is written: Ok, or, with the message, Conflict
  // when another device holds any part of it and another status when the ledger cannot be
  // reached. Nothing is written then.
  LedgerStatus Reserve(const LedgerIdentity& identity, std::int64_t time, OperatorMessage& refusal);

  // Marks the reservation written or failed after the read-back. False, with a warning, when
  // that cannot be recorded: the reservation then stays reserved, and is never given again.
  bool Confirm(const LedgerIdentity& identity, bool written, std::int64_t time,
               OperatorMessage& warning);

  // Records a verified run (its ID and station are filled in here). Anything but Recorded comes
  // with a warning; the run stays verified.
  RunRecordOutcome RecordVerifiedRun(RunRecord run, OperatorMessage& warning);

 private:
  OperatorMessage Unreachable(const char* consequence) const;

  std::unique_ptr<Ledger> m_ledger;
  std::string m_where;
  std::string m_station;
  std::string m_queuePath;
};

}  // namespace kestrune
