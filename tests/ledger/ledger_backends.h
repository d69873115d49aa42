#pragma once
// The two stores of the ledger, for tests that every store must pass alike.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ledger/ledger.h"
#include "support/record_array.h"
#include "testkit/temp_folder.h"

namespace kestrune::testkit {

enum class LedgerBackend { File, Postgres };

// Every store with the name of its cases, for INSTANTIATE_TEST_SUITE_P.
inline auto EveryBackend() {
  return testing::Values(LedgerBackend::File, LedgerBackend::Postgres);
}
std::string BackendName(const testing::TestParamInfo<LedgerBackend>& backend);

// A fresh, empty ledger location of the backend (a file in the folder "share" of `folder`); empty
// (with `skip` telling why) where this build or machine has none.
std::string NewLedgerLocation(LedgerBackend backend, const TempFolder& folder, std::string& skip);

// One range: serial numbers 1000 .. 1000 + count - 1, MAC addresses from 02-00-00-00-10-00 on.
void MakeOneRange(RecordArray& ranges, std::int32_t count);

}  // namespace kestrune::testkit
