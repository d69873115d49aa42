#include "ledger/run_queue.h"

#include <cstdio>
#include <random>

#include "ledger/ledger_lines.h"
#include "platform/locked_file.h"
#include "platform/platform.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kLockWaitMs = 30000;
constexpr std::size_t kMaxQueueBytes = std::size_t{64} << 20;

// Sends everything in the locked queue and empties it when the ledger took it all.
bool SendLocked(Ledger& ledger, LockedFile& queue) {
  std::string text;
  if (!queue.ReadAll(text, kMaxQueueBytes)) return false;
  std::vector<RunRecord> runs;
  ForEachCompleteLine(text, [&runs](std::string_view line) {
    RunRecord run;
    if (ParseRunLine(line, run)) runs.push_back(std::move(run));
  });
  if (runs.empty()) return text.empty() || queue.Truncate();
  return ledger.AddRuns(runs) == LedgerStatus::Ok && queue.Truncate();
}

}  // namespace

std::string NewRunRecordId(std::int64_t time) {
  std::random_device random;
  char text[64];
  std::snprintf(text, sizeof text, "%lld-%08x%08x", static_cast<long long>(time), random(),
                random());
  return text;
}

RunRecordOutcome RecordRun(Ledger& ledger, const std::string& queuePath, const RunRecord& run) {
  LockedFile queue(queuePath, LockedFile::Access::Exclusive, kLockWaitMs);
  std::string queued;
  if (!queue.IsOpen() || !queue.ReadAll(queued, kMaxQueueBytes) ||
      !queue.Append(AfterTornLine(queued, RunLine(run)))) {
    return ledger.AddRuns({run}) == LedgerStatus::Ok ? RunRecordOutcome::Recorded
                                                     : RunRecordOutcome::Lost;
  }
  return SendLocked(ledger, queue) ? RunRecordOutcome::Recorded : RunRecordOutcome::Queued;
}

bool SendQueuedRuns(Ledger& ledger, const std::string& queuePath) {
  if (GetPathKind(queuePath.c_str()) == kPathMissing) return true;
  LockedFile queue(queuePath, LockedFile::Access::Exclusive, kLockWaitMs);
  return queue.IsOpen() && SendLocked(ledger, queue);
}

}  // namespace kestrune
