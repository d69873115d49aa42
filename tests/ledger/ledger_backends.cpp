#include "ledger/ledger_backends.h"

#include "ledger/postgres_server.h"
#include "platform/platform.h"
#include "serials/mac_range.h"

namespace kestrune::testkit {

std::string BackendName(const testing::TestParamInfo<LedgerBackend>& backend) {
  return backend.param == LedgerBackend::File ? "File" : "Postgres";
}

std::string NewLedgerLocation(LedgerBackend backend, const TempFolder& folder, std::string& skip) {
  if (backend == LedgerBackend::File) {
    CreateDirectoryPath(folder.File("share").c_str());
    return folder.File("share/ledger.csv");
  }
  PostgresServer& server = PostgresServer::Shared();
  skip = server.Unavailable();
  return skip.empty() ? server.NewDatabase() : std::string();
}

void MakeOneRange(RecordArray& ranges, std::int32_t count) {
  ranges.Configure(sizeof(MacRange), -1);
  MacRange range{0x020000001000ull, count, 1000, 1};
  ranges.Insert(&range, 0x7FFFFFFF, 1);
}

}  // namespace kestrune::testkit
