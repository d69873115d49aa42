// Every --json document against docs/json.md: each field a document holds is described there with
// its type, and each field described is there, for the main paths and the failing ones alike.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ledger/file_ledger.h"
#include "testkit/cli_outcome.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune::cli {
namespace {

using Json = nlohmann::json;

// Field name -> the types it may have ("integer", "array of device", ...).
using Section = std::map<std::string, std::vector<std::string>>;

// The tables of docs/json.md by their heading ("info", "device run", "Common fields").
std::map<std::string, Section> ReadDocumentation() {
  std::ifstream file(std::filesystem::path(KESTRUNE_SOURCE_DIR) / "docs" / "json.md");
  std::map<std::string, Section> sections;
  std::string line;
  std::string heading;
  const std::regex row(R"(^\| `([^`]+)` \| ([^|]+) \|)");
  while (std::getline(file, line)) {
    if (line.starts_with("## ")) {
      heading = line.substr(3);
      std::erase(heading, '`');
      continue;
    }
    std::smatch match;
    if (!std::regex_search(line, match, row)) continue;
    std::vector<std::string> types;
    std::string all = match[2].str();
    while (!all.empty() && all.back() == ' ') all.pop_back();
    for (std::size_t at = 0;;) {
      const std::size_t next = all.find(" or ", at);
      types.push_back(all.substr(at, next == std::string::npos ? next : next - at));
      if (next == std::string::npos) break;
      at = next + 4;
    }
    sections[heading][match[1].str()] = types;
  }
  return sections;
}

class Checker {
 public:
  explicit Checker(std::map<std::string, Section> sections) : m_sections(std::move(sections)) {}

  // Problems of `document` as the document `name` (the common fields included).
  std::vector<std::string> Document(const Json& document, const std::string& name) {
    m_problems.clear();
    Section fields = m_sections.at("Common fields");
    if (m_sections.count(name) == 0) {
      m_problems.push_back("docs/json.md has no section '" + name + "'");
      return m_problems;
    }
    for (const auto& [field, types] : m_sections.at(name)) fields[field] = types;
    Object(document, fields, name);
    return m_problems;
  }

 private:
  void Object(const Json& value, const Section& fields, const std::string& where) {
    if (!value.is_object()) {
      m_problems.push_back(where + " is not an object");
      return;
    }
    for (const auto& [field, child] : value.items()) {
      if (fields.count(field) == 0) m_problems.push_back(where + "." + field + " is not described");
    }
    for (const auto& [field, types] : fields) {
      if (!value.contains(field)) {
        m_problems.push_back(where + "." + field + " is missing");
        continue;
      }
      bool matched = false;
      for (const std::string& type : types) matched = matched || Is(value[field], type);
      if (!matched) {
        m_problems.push_back(where + "." + field + " = " + value[field].dump() +
                             " is not of its described type");
      } else if (value[field].is_object() || value[field].is_array()) {
        for (const std::string& type : types) Descend(value[field], type, where + "." + field);
      }
    }
  }

  // Whether `value` has the JSON type `type`, without looking inside.
  bool Is(const Json& value, const std::string& type) const {
    if (type == "integer") return value.is_number_integer();
    if (type == "number") return value.is_number();
    if (type == "string") return value.is_string();
    if (type == "boolean") return value.is_boolean();
    if (type == "null") return value.is_null();
    if (type.starts_with("array of ")) return value.is_array();
    return value.is_object() && m_sections.count(type) != 0;
  }

  void Descend(const Json& value, const std::string& type, const std::string& where) {
    if (type.starts_with("array of ") && value.is_array()) {
      const std::string element = type.substr(9);
      for (std::size_t k = 0; k < value.size(); ++k) {
        const std::string at = where + "[" + std::to_string(k) + "]";
        if (!Is(value[k], element)) m_problems.push_back(at + " is not " + element);
        Descend(value[k], element, at);
      }
    } else if (value.is_object() && m_sections.count(type) != 0) {
      Object(value, m_sections.at(type), where);
    }
  }

  std::map<std::string, Section> m_sections;
  std::vector<std::string> m_problems;
};

class JsonDocuments : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_folder.File("Infos"));
    testkit::WriteFileText(m_folder.File("Infos/MacList.cfg"),
                           "RANGE 02-4B-53-00-00-00 1000 100000\n");
    testkit::WriteFileText(m_folder.File("Infos/NextSerial.cfg"), "100000\n");
    testkit::WriteFileBytes(m_folder.File("fw.bin"), testkit::BuildFirmwareImage());
    // The second device holds an identity in block 1.
    testkit::WriteFileText(
        m_folder.File("bench.json"),
        R"({"devices": [{"serialNumber": "KST0001", "instance": "dev0", "persist": false,
                         "returnDelayMs": 20},
                        {"serialNumber": "KST0002", "instance": "dev1", "persist": false,
                         "returnDelayMs": 20,
                         "otp": {"1": "AC DE 48 12 34 56 7A 85 00 E1 F5 5E 2A 00 00 80"}}]})");
  }

  Json Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--simulate=" + m_folder.File("bench.json"), "--infos",
                               m_folder.File("Infos"), "--json"});
    const testkit::CliOutcome outcome = testkit::RunKestrune(args);
    Json document = Json::parse(outcome.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << outcome.out << outcome.err;
    EXPECT_EQ(document.value("exitStatus", -1), outcome.status) << outcome.out;
    return document;
  }

  testkit::TempFolder m_folder;
  Checker m_checker{ReadDocumentation()};
};

TEST_F(JsonDocuments, EveryDocumentHoldsTheFieldsOfDocsJson) {
  const std::string fw = m_folder.File("fw.bin");
  struct Case {
    const char* what;
    std::string section;
    Json document;
  };
  std::vector<Case> cases = {
      {"describe", "describe", Run({"describe", fw})},
      {"describe, missing", "describe", Run({"describe", m_folder.File("no.bin")})},
      {"list", "list", Run({"list"})},
      {"info, programmed", "info", Run({"info", "--device", "KST0002"})},
      {"info, two devices", "info", Run({"info"})},
      {"info, no such device", "info", Run({"info", "--device", "KST9"})},
      {"program", "program", Run({"program", fw, "--device", "KST0001"})},
      {"program, refused", "program", Run({"program", m_folder.File("no.bin")})},
      {"program --all", "program --all", Run({"program", "--all", fw})},
      {"set-identity", "set-identity",
       Run({"set-identity", "--device", "KST0001", "--serial", "100001", "--yes"})},
      {"set-identity, no device", "set-identity", Run({"set-identity", "--device", "KST9"})},
  };
  // The ledger's documents, of a ledger with an identity and a run.
  testkit::WriteFileText(m_folder.File("Infos/Ledger.cfg"), "LEDGER ledger.csv\nSTATION 2\n");
  FileLedger ledger(m_folder.File("Infos/ledger.csv"));
  ASSERT_EQ(ledger.Reserve({1000, 0x020000001000, 0x020000001001, "UID-A"}, "1", 10),
            LedgerStatus::Ok);
  ASSERT_EQ(ledger.AddRuns({{"r1", 13, "1", "UID-A", "fw.bin", "STM32F405", "1.2", "d"}}),
            LedgerStatus::Ok);
  cases.push_back({"ledger", "ledger", Run({"ledger"})});
  cases.push_back({"ledger --find", "ledger", Run({"ledger", "--find", "UID-A"})});
  cases.push_back({"ledger --check", "ledger --check", Run({"ledger", "--check"})});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ostringstream problems;
    for (const std::string& problem : m_checker.Document(c.document, c.section))
      problems << problem << '\n';
    EXPECT_EQ(problems.str(), "") << c.document.dump(2);
  }
}

// The values behind the texts: numbers as numbers, the identity in force, a run's phases and
// its log line.
TEST_F(JsonDocuments, ValuesAreTypedAndComplete) {
  const Json info = Run({"info", "--device", "KST0002"});
  const Json& device = info["device"];
  EXPECT_EQ(device["vendorId"], 0x0483);
  EXPECT_EQ(device["productId"], 0xDF11);
  EXPECT_EQ(device["flashBytes"], 1024 * 1024);
  EXPECT_EQ(device["usbSerialNumber"], "KST0002");
  EXPECT_EQ(device["identityState"], "programmed");
  EXPECT_EQ(device["serialNumber"], 42);
  EXPECT_EQ(device["macA"], "AC-DE-48-12-34-56");
  EXPECT_EQ(device["macB"], "AC-DE-48-12-34-57");
  EXPECT_EQ(device["assignedAt"], 0x5EF5E100);
  EXPECT_EQ(device["identityBlock"], 1);
  EXPECT_EQ(device["freeOtpBlocks"], 14);

  const Json none = Run({"info", "--device", "KST9"});
  EXPECT_EQ(none["ok"], false);
  EXPECT_EQ(none["device"], nullptr);
  EXPECT_TRUE(none["error"].is_string());

  const Json programmed = Run({"program", m_folder.File("fw.bin"), "--device", "KST0001"});
  EXPECT_EQ(programmed["outcome"], "succeeded");
  EXPECT_EQ(programmed["device"]["usbSerialNumber"], "KST0001");
  EXPECT_TRUE(programmed["device"]["uniqueId"].is_string());
  const Json& run = programmed["run"];
  ASSERT_EQ(run["phases"].size(), 3u);
  const std::int64_t imageBytes = static_cast<std::int64_t>(testkit::BuildFirmwareImage().size());
  for (const Json& phase : run["phases"]) {
    EXPECT_EQ(phase["totalBytes"], imageBytes);
    EXPECT_EQ(phase["bytesDone"], imageBytes);
  }
  EXPECT_EQ(run["phases"][2]["phase"], "verifying");
  const std::string logLine = run["logLine"];
  EXPECT_NE(logLine.find(programmed["device"]["uniqueId"].get<std::string>()), std::string::npos);
  EXPECT_NE(logLine.find("fw.bin"), std::string::npos);

  const Json written = Run({"set-identity", "--device", "KST0001", "--serial", "100001", "--yes"});
  EXPECT_EQ(written["ok"], true) << written.dump(2);
  EXPECT_EQ(written["otpBlock"], 1);
  EXPECT_EQ(written["serialNumber"], 100001);
  EXPECT_EQ(written["macA"], "02-4B-53-00-00-02");
  EXPECT_EQ(written["macB"], "02-4B-53-00-00-03");
  EXPECT_TRUE(written["assignedAt"].is_number_integer());
}

}  // namespace
}  // namespace kestrune::cli
