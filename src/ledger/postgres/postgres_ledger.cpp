// The ledger in a PostgreSQL database, through libpq. The tables are made on first use; unique
// keys on the serial number and on every MAC address (of either column) let the database itself
// refuse a second reservation, and every operation is one short transaction.

#include <libpq-fe.h>

#include <memory>
#include <vector>

#include "ledger/ledger_text.h"
#include "ledger/open_ledger.h"

namespace kestrune {
namespace {

constexpr const char* kTablesExist =
    "SELECT to_regclass('kestrune_identity') IS NOT NULL AND to_regclass('kestrune_mac') IS NOT "
    "NULL AND to_regclass('kestrune_run') IS NOT NULL";

// Several stations may meet an empty database at once: the advisory lock lets one create.
constexpr const char* kCreateTables =
    "SELECT pg_advisory_xact_lock(7305119604);"
    "CREATE TABLE IF NOT EXISTS kestrune_identity ("
    " serial integer PRIMARY KEY, unique_id text NOT NULL,"
    " mac_a bigint NOT NULL UNIQUE, mac_b bigint NOT NULL UNIQUE,"
    " state text NOT NULL CHECK (state IN ('reserved', 'written', 'failed')),"
    " station text NOT NULL, changed_at bigint NOT NULL);"
    "CREATE TABLE IF NOT EXISTS kestrune_mac ("
    " mac bigint PRIMARY KEY, serial integer NOT NULL REFERENCES kestrune_identity(serial));"
    "CREATE TABLE IF NOT EXISTS kestrune_run ("
    " seq bigserial PRIMARY KEY, record_id text NOT NULL UNIQUE, recorded_at bigint NOT NULL,"
    " station text NOT NULL, unique_id text NOT NULL, firmware text NOT NULL,"
    " device_type text NOT NULL, version text NOT NULL, firmware_date text NOT NULL);";

// How often a reservation that met another one committing at the same moment is looked at again.
constexpr int kReserveAttempts = 3;

struct ResultFree {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

struct ConnectionFree {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
using Connection = std::unique_ptr<PGconn, ConnectionFree>;

bool Succeeded(const Result& result) {
  const ExecStatusType status = PQresultStatus(result.get());
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// Another transaction took the same key first (or the two waited on each other).
bool MetAnotherWriter(const Result& result) {
  const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
  const std::string code = state != nullptr ? state : "";
  return code == "23505" || code == "40P01" || code == "40001";
}

std::string Text(const Result& result, int row, int column) {
  return PQgetvalue(result.get(), row, column);
}

std::int64_t Number(const Result& result, int row, int column) {
  return std::stoll(Text(result, row, column));
}

class PostgresLedger final : public Ledger {
 public:
  explicit PostgresLedger(std::string uri) : m_uri(std::move(uri)) {}

  LedgerStatus Read(LedgerContents& contents) override {
    if (!Ready()) return LedgerStatus::Unreachable;
    const Result identities = Exec(
        "SELECT serial, mac_a, mac_b, unique_id, state, station, changed_at FROM "
        "kestrune_identity ORDER BY serial",
        {});
    const Result runs = Exec(
        "SELECT record_id, recorded_at, station, unique_id, firmware, device_type, version, "
        "firmware_date FROM kestrune_run ORDER BY seq",
        {});
    if (!Succeeded(identities) || !Succeeded(runs)) return Failed(identities);
    contents = {};
    for (int row = 0; row < PQntuples(identities.get()); ++row) {
      LedgerEntry entry;
      entry.identity = IdentityAt(identities, row, 0);
      entry.state = StateFromName(Text(identities, row, 4)).value_or(ReservationState::Reserved);
      entry.station = Text(identities, row, 5);
      entry.time = Number(identities, row, 6);
      contents.identities.push_back(std::move(entry));
    }
    for (int row = 0; row < PQntuples(runs.get()); ++row) {
      contents.runs.push_back({Text(runs, row, 0), Number(runs, row, 1), Text(runs, row, 2),
                               Text(runs, row, 3), Text(runs, row, 4), Text(runs, row, 5),
                               Text(runs, row, 6), Text(runs, row, 7)});
    }
    return LedgerStatus::Ok;
  }

  LedgerStatus ReservedSerials(std::vector<std::int32_t>& serials) override {
    if (!Ready()) return LedgerStatus::Unreachable;
    const Result result = Exec("SELECT serial FROM kestrune_identity ORDER BY serial", {});
    if (!Succeeded(result)) return Failed(result);
    serials.clear();
    for (int row = 0; row < PQntuples(result.get()); ++row) {
      serials.push_back(static_cast<std::int32_t>(Number(result, row, 0)));
    }
    return LedgerStatus::Ok;
  }

  LedgerStatus Reserve(const LedgerIdentity& identity, const std::string& station,
                       std::int64_t time) override {
    if (!Ready()) return LedgerStatus::Unreachable;
    LedgerStatus status = LedgerStatus::Unreachable;
    for (int attempt = 0; attempt < kReserveAttempts; ++attempt) {
      bool again = false;
      status = ReserveOnce(identity, station, time, again);
      if (!again) break;
    }
    return status;
  }

  LedgerStatus Mark(std::int32_t serial, const std::string& uniqueId, ReservationState state,
                    std::int64_t time) override {
    if (!Ready()) return LedgerStatus::Unreachable;
    const Result result = Exec(
        "UPDATE kestrune_identity SET state = $3, changed_at = $4 WHERE serial = $1 AND "
        "unique_id = $2",
        {std::to_string(serial), uniqueId, StateName(state), std::to_string(time)});
    if (!Succeeded(result)) return Failed(result);
    if (std::string(PQcmdTuples(result.get())) != "1") {
      m_error = NoReservationText(serial, uniqueId);
      return LedgerStatus::Conflict;
    }
    return LedgerStatus::Ok;
  }

  LedgerStatus AddRuns(const std::vector<RunRecord>& runs) override {
    if (!Ready()) return LedgerStatus::Unreachable;
    if (!Command("BEGIN")) return LedgerStatus::Unreachable;
    for (const RunRecord& run : runs) {
      const Result result = Exec(
          "INSERT INTO kestrune_run (record_id, recorded_at, station, unique_id, firmware, "
          "device_type, version, firmware_date) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) "
          "ON CONFLICT (record_id) DO NOTHING",
          {run.recordId, std::to_string(run.time), run.station, run.uniqueId, run.firmwareFile,
           run.deviceType, run.version, run.firmwareDate});
      if (!Succeeded(result)) return RolledBack(Failed(result));
    }
    return Command("COMMIT") ? LedgerStatus::Ok : LedgerStatus::Unreachable;
  }

  std::string LastError() const override { return m_error; }

 private:
  LedgerStatus ReserveOnce(const LedgerIdentity& identity, const std::string& station,
                           std::int64_t time, bool& again) {
    if (!Command("BEGIN")) return LedgerStatus::Unreachable;
    const std::string serial = std::to_string(identity.serial);
    const std::string macA = std::to_string(identity.macA);
    const std::string macB = std::to_string(identity.macB);
    const Result holders = Exec(
        "SELECT serial, mac_a, mac_b, unique_id, NULL::bigint FROM kestrune_identity "
        "WHERE serial = $1 UNION ALL "
        "SELECT i.serial, i.mac_a, i.mac_b, i.unique_id, m.mac FROM kestrune_mac m "
        "JOIN kestrune_identity i ON i.serial = m.serial WHERE m.mac IN ($2, $3)",
        {serial, macA, macB});
    if (!Succeeded(holders)) return RolledBack(Failed(holders));
    for (int row = 0; row < PQntuples(holders.get()); ++row) {
      const LedgerIdentity holder = IdentityAt(holders, row, 0);
      if (holder == identity) continue;
      m_error = holder.serial == identity.serial
                    ? SerialTakenText(holder)
                    : MacTakenText(static_cast<std::uint64_t>(Number(holders, row, 4)), holder);
      return RolledBack(LedgerStatus::Conflict);
    }
    const std::string changed = std::to_string(time);
    std::vector<std::pair<const char*, std::vector<std::string>>> steps;
    if (PQntuples(holders.get()) > 0) {
      steps.push_back(
          {"UPDATE kestrune_identity SET state = 'reserved', station = $2, "
           "changed_at = $3 WHERE serial = $1",
           {serial, station, changed}});
    } else {
      steps.push_back(
          {"INSERT INTO kestrune_identity (serial, mac_a, mac_b, unique_id, state, "
           "station, changed_at) VALUES ($1, $2, $3, $4, 'reserved', $5, $6)",
           {serial, macA, macB, identity.uniqueId, station, changed}});
      steps.push_back({"INSERT INTO kestrune_mac (mac, serial) VALUES ($2, $1), ($3, $1)",
                       {serial, macA, macB}});
    }
    for (const auto& [sql, params] : steps) {
      const Result result = Exec(sql, params);
      if (Succeeded(result)) continue;
      again = MetAnotherWriter(result);
      return RolledBack(Failed(result));
    }
    if (Command("COMMIT")) return LedgerStatus::Ok;
    return LedgerStatus::Unreachable;
  }

  static LedgerIdentity IdentityAt(const Result& result, int row, int column) {
    return {static_cast<std::int32_t>(Number(result, row, column)),
            static_cast<std::uint64_t>(Number(result, row, column + 1)),
            static_cast<std::uint64_t>(Number(result, row, column + 2)),
            Text(result, row, column + 3)};
  }

  // Connected, with the tables in place; a lost connection is made anew.
  bool Ready() {
    if (m_connection && PQstatus(m_connection.get()) != CONNECTION_OK) m_connection.reset();
    if (!m_connection) {
      // A server that does not answer ends in an error rather than a hanging station, unless
      // the URI sets its own time-out.
      const char* keys[] = {"connect_timeout", "dbname", "client_encoding", nullptr};
      const char* values[] = {"10", m_uri.c_str(), "WIN1252", nullptr};
      m_connection.reset(PQconnectdbParams(keys, values, 1));
      if (PQstatus(m_connection.get()) != CONNECTION_OK) {
        m_error = PQerrorMessage(m_connection.get());
        m_connection.reset();
        return false;
      }
      // The server's notices ("relation already exists") are not for the operator.
      PQsetNoticeProcessor(
          m_connection.get(), [](void*, const char*) {}, nullptr);
      m_tablesReady = false;
    }
    if (m_tablesReady) return true;
    m_tablesReady =
        Command(kTablesExist, "t") ||
        (Command("BEGIN") && (Command(kCreateTables) || RollBack()) && Command("COMMIT"));
    return m_tablesReady;
  }

  Result Exec(const char* sql, const std::vector<std::string>& params) {
    std::vector<const char*> values;
    for (const std::string& param : params) values.push_back(param.c_str());
    return Result(PQexecParams(m_connection.get(), sql, static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0));
  }

  // Runs `sql`; with `answer`, true only when its first value is that.
  bool Command(const char* sql, const char* answer = nullptr) {
    const Result result(PQexec(m_connection.get(), sql));
    if (!Succeeded(result)) {
      Failed(result);
      return false;
    }
    return answer == nullptr || (PQntuples(result.get()) > 0 && Text(result, 0, 0) == answer);
  }

  // Ends a transaction that failed; false, to end the chain of steps that called it.
  bool RollBack() {
    const Result result(PQexec(m_connection.get(), "ROLLBACK"));
    return false;
  }

  LedgerStatus Failed(const Result& result) {
    m_error = result ? PQresultErrorMessage(result.get()) : PQerrorMessage(m_connection.get());
    while (!m_error.empty() && (m_error.back() == '\n' || m_error.back() == ' ')) {
      m_error.pop_back();
    }
    return LedgerStatus::Unreachable;
  }

  LedgerStatus RolledBack(LedgerStatus status) {
    RollBack();
    return status;
  }

  std::string m_uri;
  Connection m_connection;
  bool m_tablesReady = false;
  std::string m_error;
};

}  // namespace

std::unique_ptr<Ledger> OpenDatabaseLedger(const std::string& uri, std::string&) {
  return std::make_unique<PostgresLedger>(uri);
}

}  // namespace kestrune
