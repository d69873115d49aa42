#pragma once
// Verified runs recorded in the station's ledger: the dialog and the command line hand this to
// their runs. A ledger out of reach queues the record and the run is told so in a warning.

#include <mutex>

#include "job/run_recorder.h"
#include "ledger/station_ledger.h"

namespace kestrune {

class LedgerRunRecorder final : public RunRecorder {
 public:
  explicit LedgerRunRecorder(StationLedger& ledger) : m_ledger(ledger) {}

  std::string Record(const DownloadRecord& record, std::int64_t time) override;

 private:
  StationLedger& m_ledger;
  // Runs on several devices end together; the ledger and its queue take one record at a time.
  std::mutex m_recording;
};

}  // namespace kestrune
