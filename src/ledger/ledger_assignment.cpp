#include "ledger/ledger_assignment.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "ledger/serial_proposal.h"
#include "serials/mac_range.h"

namespace kestrune {
namespace {

constexpr std::uint64_t kMacMask = 0xFFFFFFFFFFFFull;

// A busy line makes a few proposals meet; this many in a row means something else is wrong.
constexpr int kProposalAttempts = 100;

// After a lost race a station waits a random moment before it proposes again: without it, a slow
// station keeps losing to the fast ones that propose the same lowest number at once.
void WaitAfterLostRace(int attempt) {
  thread_local std::minstd_rand random{std::random_device{}()};
  const int ceilingMs = std::min(2 + attempt, 50);
  std::uniform_int_distribution<int> ms(1, ceilingMs);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms(random)));
}

}  // namespace

LedgerIdentity IdentityOfSerial(const RecordArray& ranges, std::int32_t serial,
                                const std::string& uniqueId) {
  const std::int32_t stored = serial & 0xFFFFFF;
  const std::int32_t index = FindMacRange(ranges, stored);
  const MacRange& range = MacRangeAt(ranges, index >= 0 ? static_cast<std::uint32_t>(index) : 0);
  const std::uint64_t macA = MacOfSerial(range, stored) & kMacMask;
  return {stored, macA, (macA + 1) & kMacMask, uniqueId};
}

LedgerStatus ReserveNextFree(Ledger& ledger, const RecordArray& ranges, std::int32_t nextSerial,
                             const std::string& uniqueId, const std::string& station,
                             std::int64_t time, LedgerIdentity& reserved) {
  std::vector<std::int32_t> taken;
  std::vector<std::int32_t> refused;  // proposals whose MAC addresses another serial holds
  for (int attempt = 0; attempt < kProposalAttempts; ++attempt) {
    const LedgerStatus read = ledger.ReservedSerials(taken);
    if (read != LedgerStatus::Ok) return read;
    for (std::int32_t serial : refused) {
      taken.insert(std::lower_bound(taken.begin(), taken.end(), serial), serial);
    }
    const std::optional<std::int32_t> proposal = ProposeSerial(ranges, nextSerial, taken);
    if (!proposal) return LedgerStatus::Exhausted;
    reserved = IdentityOfSerial(ranges, *proposal, uniqueId);
    const LedgerStatus status = ledger.Reserve(reserved, station, time);
    if (status != LedgerStatus::Conflict) return status;
    refused.push_back(reserved.serial);
    WaitAfterLostRace(attempt);
  }
  return LedgerStatus::Conflict;
}

}  // namespace kestrune
