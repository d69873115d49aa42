#pragma once
// The ledger in one CSV file (ledger_lines.h), on this machine or on a share that several
// stations reach. Every operation reads the whole file and appends at most one line while it
// holds the file's lock; the last identity line of a serial number is its state. The file is
// created on first use; its folder must exist (a missing share is an unreachable ledger).

#include <string>

#include "ledger/ledger.h"

namespace kestrune {

class FileLedger final : public Ledger {
 public:
  explicit FileLedger(std::string path) : m_path(std::move(path)) {}

  LedgerStatus Read(LedgerContents& contents) override;
  LedgerStatus ReservedSerials(std::vector<std::int32_t>& serials) override;
  LedgerStatus Reserve(const LedgerIdentity& identity, const std::string& station,
                       std::int64_t time) override;
  LedgerStatus Mark(std::int32_t serial, const std::string& uniqueId, ReservationState state,
                    std::int64_t time) override;
  LedgerStatus AddRuns(const std::vector<RunRecord>& runs) override;
  std::string LastError() const override { return m_error; }

 private:
  std::string m_path;
  std::string m_error;
};

}  // namespace kestrune
