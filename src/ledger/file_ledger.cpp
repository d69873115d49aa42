#include "ledger/file_ledger.h"

#include <map>
#include <set>

#include "ledger/ledger_lines.h"
#include "ledger/ledger_text.h"
#include "platform/locked_file.h"

namespace kestrune {
namespace {

// Long enough for a busy line of stations on a slow share; a lock held longer than this means
// the share or a station hangs, and the operator is told instead of waiting on.
constexpr std::uint32_t kLockWaitMs = 30000;
// Far beyond any line's lifetime of records; a larger file is not read into memory.
constexpr std::size_t kMaxLedgerBytes = std::size_t{256} << 20;

constexpr const char* kHeader =
    "# Kestrune identity ledger\n"
    "# identity;serial;MAC A;MAC B;unique ID;state;station;time\n"
    "# run;record ID;time;station;unique ID;firmware;device type;version;firmware date\n";

// The file as read under its lock.
struct Snapshot {
  std::map<std::int32_t, LedgerEntry> bySerial;
  std::map<std::uint64_t, std::int32_t> serialOfMac;
  std::set<std::string> runIds;
  std::vector<RunRecord> runs;
};

// One locked session with the file.
class Session {
 public:
  Session(const std::string& path, LockedFile::Access access, std::string& error)
      : m_file(path, access, kLockWaitMs), m_error(error) {
    if (!m_file.IsOpen()) {
      m_error = m_file.Error();
      return;
    }
    if (!m_file.ReadAll(m_text, kMaxLedgerBytes)) {
      m_error = "cannot read the ledger " + path;
      return;
    }
    m_loaded = true;
    ForEachCompleteLine(m_text, [this](std::string_view line) { Take(line); });
  }

  bool Loaded() const { return m_loaded; }
  const Snapshot& Contents() const { return m_snapshot; }

  LedgerStatus Append(std::string lines) {
    if (m_text.empty()) lines = kHeader + lines;
    if (m_file.Append(AfterTornLine(m_text, std::move(lines)))) return LedgerStatus::Ok;
    m_error = "cannot write the ledger";
    return LedgerStatus::Unreachable;
  }

 private:
  void Take(std::string_view line) {
    LedgerEntry entry;
    RunRecord run;
    if (ParseIdentityLine(line, entry)) {
      m_snapshot.serialOfMac[entry.identity.macA] = entry.identity.serial;
      m_snapshot.serialOfMac[entry.identity.macB] = entry.identity.serial;
      m_snapshot.bySerial[entry.identity.serial] = std::move(entry);
    } else if (ParseRunLine(line, run) && m_snapshot.runIds.insert(run.recordId).second) {
      m_snapshot.runs.push_back(std::move(run));
    }
  }

  LockedFile m_file;
  std::string& m_error;
  std::string m_text;
  Snapshot m_snapshot;
  bool m_loaded = false;
};

}  // namespace

LedgerStatus FileLedger::Read(LedgerContents& contents) {
  Session session(m_path, LockedFile::Access::Shared, m_error);
  if (!session.Loaded()) return LedgerStatus::Unreachable;
  contents = {};
  for (const auto& [serial, entry] : session.Contents().bySerial) {
    contents.identities.push_back(entry);
  }
  contents.runs = session.Contents().runs;
  return LedgerStatus::Ok;
}

LedgerStatus FileLedger::ReservedSerials(std::vector<std::int32_t>& serials) {
  Session session(m_path, LockedFile::Access::Shared, m_error);
  if (!session.Loaded()) return LedgerStatus::Unreachable;
  serials.clear();
  for (const auto& [serial, entry] : session.Contents().bySerial) serials.push_back(serial);
  return LedgerStatus::Ok;
}

LedgerStatus FileLedger::Reserve(const LedgerIdentity& identity, const std::string& station,
                                 std::int64_t time) {
  Session session(m_path, LockedFile::Access::Exclusive, m_error);
  if (!session.Loaded()) return LedgerStatus::Unreachable;
  const Snapshot& snapshot = session.Contents();
  const auto held = snapshot.bySerial.find(identity.serial);
  if (held != snapshot.bySerial.end() && !(held->second.identity == identity)) {
    m_error = SerialTakenText(held->second.identity);
    return LedgerStatus::Conflict;
  }
  for (std::uint64_t mac : {identity.macA, identity.macB}) {
    const auto owner = snapshot.serialOfMac.find(mac);
    if (owner != snapshot.serialOfMac.end() && owner->second != identity.serial) {
      m_error = MacTakenText(mac, snapshot.bySerial.at(owner->second).identity);
      return LedgerStatus::Conflict;
    }
  }
  return session.Append(IdentityLine({identity, ReservationState::Reserved, station, time}));
}

LedgerStatus FileLedger::Mark(std::int32_t serial, const std::string& uniqueId,
                              ReservationState state, std::int64_t time) {
  Session session(m_path, LockedFile::Access::Exclusive, m_error);
  if (!session.Loaded()) return LedgerStatus::Unreachable;
  const auto held = session.Contents().bySerial.find(serial);
  if (held == session.Contents().bySerial.end() || held->second.identity.uniqueId != uniqueId) {
    m_error = NoReservationText(serial, uniqueId);
    return LedgerStatus::Conflict;
  }
  LedgerEntry entry = held->second;
  entry.state = state;
  entry.time = time;
  return session.Append(IdentityLine(entry));
}

LedgerStatus FileLedger::AddRuns(const std::vector<RunRecord>& runs) {
  Session session(m_path, LockedFile::Access::Exclusive, m_error);
  if (!session.Loaded()) return LedgerStatus::Unreachable;
  std::string lines;
  std::set<std::string> added;
  for (const RunRecord& run : runs) {
    if (!session.Contents().runIds.contains(run.recordId) && added.insert(run.recordId).second) {
      lines += RunLine(run);
    }
  }
  return lines.empty() ? LedgerStatus::Ok : session.Append(std::move(lines));
}

}  // namespace kestrune
