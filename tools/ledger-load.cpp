// One station's share of a ledger load: assigns COUNT identities to devices PREFIX-1 .. PREFIX-N
// (lowest free serial number, reserve, mark written) and records a verified run for each. It
// prints a line as each step is confirmed, flushed at once, so that whoever stops it at any moment
// knows what it was told had happened:
//
//   reserved SERIAL UNIQUE-ID / written SERIAL / run RECORD-ID (or queued RECORD-ID)
//
// The benchmark starts several at once; the ledger tests start and kill them.
//
//   ledger-load WHERE QUEUE-FILE COUNT PREFIX

#include <cstdio>
#include <ctime>
#include <string>

#include "ledger/ledger_assignment.h"
#include "ledger/open_ledger.h"
#include "ledger/run_queue.h"
#include "serials/mac_range.h"

namespace {

int Fail(const char* step, const kestrune::Ledger& ledger) {
  std::fprintf(stderr, "ledger-load: %s: %s\n", step, ledger.LastError().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrune;
  if (argc != 5) {
    std::fputs("usage: ledger-load WHERE QUEUE-FILE COUNT PREFIX\n", stderr);
    return 2;
  }
  const std::string queue = argv[2];
  const int count = std::stoi(argv[3]);
  const std::string prefix = argv[4];
  std::string error;
  const auto ledger = OpenLedger(argv[1], error);
  if (!ledger) {
    std::fprintf(stderr, "ledger-load: %s\n", error.c_str());
    return 1;
  }
  RecordArray ranges;
  ranges.Configure(sizeof(MacRange), -1);
  MacRange range{0x020000000000ull, kMaxRangeCount, 1000, 1};
  ranges.Insert(&range, 0x7FFFFFFF, 1);

  for (int i = 1; i <= count; ++i) {
    const std::string uniqueId = prefix + "-" + std::to_string(i);
    const std::int64_t now = std::time(nullptr);
    LedgerIdentity identity;
    if (ReserveNextFree(*ledger, ranges, 1000, uniqueId, prefix, now, identity) !=
        LedgerStatus::Ok) {
      return Fail("reserve", *ledger);
    }
    std::printf("reserved %d %s\n", identity.serial, uniqueId.c_str());
    std::fflush(stdout);
    if (ledger->Mark(identity.serial, uniqueId, ReservationState::Written, now) !=
        LedgerStatus::Ok) {
      return Fail("mark", *ledger);
    }
    std::printf("written %d\n", identity.serial);
    std::fflush(stdout);
    const RunRecord run{NewRunRecordId(now), now,         prefix, uniqueId,
                        "load.bin",          "STM32F405", "1.0",  "2026-01-01"};
    const RunRecordOutcome outcome = RecordRun(*ledger, queue, run);
    if (outcome == RunRecordOutcome::Lost) return Fail("run", *ledger);
    std::printf("%s %s\n", outcome == RunRecordOutcome::Recorded ? "run" : "queued",
                run.recordId.c_str());
    std::fflush(stdout);
  }
  return 0;
}
