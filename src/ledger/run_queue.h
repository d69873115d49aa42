#pragma once
// Verified runs reach the ledger through a queue file in Infos: each record is written there
// first, then everything queued is sent, and the queue is emptied once the ledger has it. A
// ledger out of reach thus loses nothing; the records go at the next contact. A record sent
// twice (a station that died before emptying its queue) is kept once by its record ID.

#include <string>

#include "ledger/ledger.h"

namespace kestrune {

inline constexpr const char* kRunQueueName = "LedgerQueue.csv";

enum class RunRecordOutcome {
  Recorded,  // the ledger has it (and everything queued before)
  Queued,    // the ledger is out of reach; the record waits in the queue
  Lost,      // neither the ledger nor the queue could take it
};

// A record ID no other run of any station shares.
std::string NewRunRecordId(std::int64_t time);

RunRecordOutcome RecordRun(Ledger& ledger, const std::string& queuePath, const RunRecord& run);

// Sends what waits in the queue. True when nothing waits any more (also without a queue file).
bool SendQueuedRuns(Ledger& ledger, const std::string& queuePath);

}  // namespace kestrune
