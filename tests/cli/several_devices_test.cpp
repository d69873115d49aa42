// The commands on a bench of several simulated devices: listing them, choosing one, and
// programming all of them at once. Each test writes a bench file and runs the whole command line.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/interrupt_catcher.h"
#include "cli/program_all.h"
#include "platform/console.h"
#include "sim/sim_bench.h"
#include "testkit/captured_stream.h"
#include "testkit/cli_outcome.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune::cli {
namespace {

using testing::HasSubstr;
using testing::Not;

using Outcome = testkit::CliOutcome;

struct BenchDevice {
  std::string serial;  // USB serial number; the unique ID ends in it too
  std::string extra;   // more settings of the device, JSON
};

class SeveralDevicesTest : public testing::Test {
 protected:
  void MakeBench(const std::vector<BenchDevice>& devices) {
    std::string text = "{\"devices\": [";
    for (std::size_t k = 0; k < devices.size(); ++k) {
      char uniqueId[64];
      std::snprintf(uniqueId, sizeof uniqueId, "31 00 47 00 0E 51 33 30 37 34 38 %02X",
                    0x30 + static_cast<unsigned>(k));
      text += std::string(k ? "," : "") + "{\"serialNumber\": \"" + devices[k].serial +
              "\", \"instance\": \"dev" + std::to_string(k) + "\", \"uniqueId\": \"" + uniqueId +
              "\", " + Memory(k) + ", \"returnDelayMs\": 20" + devices[k].extra + "}";
    }
    testkit::WriteFileText(m_folder.File("bench.json"), text + "]}");
    testkit::WriteFileBytes(m_folder.File("fw.bin"), testkit::BuildFirmwareImage());
  }
  // In the process only, or with m_persist in a folder per device beside the bench file.
  std::string Memory(std::size_t k) const {
    return m_persist ? "\"persist\": true, \"folder\": \"memory" + std::to_string(k) + "\""
                     : "\"persist\": false";
  }
  // Every byte the devices keep, file by file.
  std::map<std::string, std::vector<std::uint8_t>> Memories() const {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_folder.Path())) {
      const std::string path = entry.path().generic_string();
      // The lock a process holds on a device is not its memory.
      if (entry.is_regular_file() && path.find("/memory") != std::string::npos &&
          entry.path().filename() != "in-use.lock") {
        files[path] = testkit::ReadFileBytes(path);
      }
    }
    return files;
  }
  Outcome Run(std::vector<std::string> args) {
    args.insert(args.begin(),
                {"--simulate=" + m_folder.File("bench.json"), "--infos", m_folder.File("Infos")});
    return testkit::RunKestrune(args);
  }
  std::vector<std::string> LogLines() {
    const auto bytes = testkit::ReadFileBytes(m_folder.File("Infos/DownloadList.csv"));
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes) {
      if (c != '\n') {
        line += c;
      } else if (!line.starts_with("<Zeit>")) {
        lines.push_back(line);
      }
      if (c == '\n') line.clear();
    }
    return lines;
  }

  testkit::TempFolder m_folder;
  bool m_persist = false;
};

std::string PathOf(int k) {
  return "\\\\?\\usb#vid_0483&pid_df11#dev" + std::to_string(k) +
         "#{3fe809ab-fb91-4cb5-a643-69670d52366e}";
}

TEST_F(SeveralDevicesTest, ListShowsEveryDeviceAsLinesOrJson) {
  MakeBench({{"KST0001", ""},
             {"KST0002", ", \"otp\": {\"1\": \"AC DE 48 12 34 56 7A 85 00 E1 F5 5E 2A 00 00 80\"}"},
             {"KST0003", ", \"flashKiB\": 512"}});
  const Outcome lines = Run({"list"});
  EXPECT_EQ(lines.status, kExitOk) << lines.err;
  EXPECT_EQ(lines.out, PathOf(0) + "  KST0001  1024 kB  Nicht programmiert\n" + PathOf(1) +
                           "  KST0002  1024 kB  42\n" + PathOf(2) +
                           "  KST0003  512 kB  Nicht programmiert\n");

  const Outcome json = Run({"list", "--json"});
  EXPECT_EQ(json.status, kExitOk) << json.err;
  const auto devices = nlohmann::json::parse(json.out)["devices"];
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0]["usbSerialNumber"], "KST0001");
  EXPECT_EQ(devices[1]["path"], PathOf(1));
  EXPECT_EQ(devices[1]["identityState"], "programmed");
  EXPECT_EQ(devices[1]["serialNumber"], 42);
  EXPECT_EQ(devices[0]["identityState"], "notProgrammed");
  EXPECT_EQ(devices[0]["serialNumber"], nullptr);
  EXPECT_EQ(devices[2]["flashBytes"], 512 * 1024);
}

TEST_F(SeveralDevicesTest, DeviceChoosesOneOfSeveralByPathOrSerial) {
  MakeBench({{"KST0001", ""}, {"KST0002", ""}, {"KST0003", ""}});
  // Without a choice the window's rule holds: more than one device is no good.
  EXPECT_EQ(Run({"info"}).status, kExitNoDevice);
  std::string upperPath = PathOf(1);
  for (char& c : upperPath) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& choice :
       {std::string("KST0002"), std::string("kst0002"), PathOf(1), upperPath}) {
    SCOPED_TRACE(choice);
    const Outcome info = Run({"info", "--device", choice});
    EXPECT_EQ(info.status, kExitOk) << info.err;
    EXPECT_THAT(info.out, HasSubstr("anzahl : 1\n"));
    EXPECT_THAT(info.out, HasSubstr("Unique ID : 3100-4700-0E-Q307481\n"));
  }

  const Outcome info = Run({"--json", "info", "--device", "KST0002"});
  EXPECT_EQ(info.status, kExitOk);
  EXPECT_EQ(nlohmann::json::parse(info.out)["device"]["uniqueId"], "3100-4700-0E-Q307481");

  // With --json stdout holds the result alone; the status lines go to stderr.
  const Outcome programmed =
      Run({"program", m_folder.File("fw.bin"), "--device=KST0002", "--json"});
  EXPECT_EQ(programmed.status, kExitOk) << programmed.err;
  const auto result = nlohmann::json::parse(programmed.out);
  EXPECT_EQ(result["ok"], true);
  EXPECT_EQ(result["device"]["path"], PathOf(1));
  EXPECT_THAT(programmed.err, HasSubstr(testkit::Utf8(u8"... Gerät neu öffnen ...\n")));
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_THAT(log[0], HasSubstr("Q307481"));

  const Outcome none = Run({"program", m_folder.File("fw.bin"), "--device", "KST9999"});
  EXPECT_EQ(none.status, kExitNoDevice);
  EXPECT_THAT(none.err, HasSubstr("--device 'KST9999' names no attached device"));
  const Outcome json = Run({"set-identity", "--yes", "--device", "KST9999", "--json"});
  EXPECT_EQ(json.status, kExitNoDevice);
  EXPECT_THAT(nlohmann::json::parse(json.out)["errors"][0].get<std::string>(),
              HasSubstr("names no attached device"));
}

TEST_F(SeveralDevicesTest, DeviceNamingTwoIsRefusedWithBothPaths) {
  MakeBench({{"SAME", ""}, {"SAME", ""}});
  const Outcome info = Run({"info", "--device", "SAME"});
  EXPECT_EQ(info.status, kExitNoDevice);
  EXPECT_THAT(info.err, HasSubstr("names 2 devices"));
  EXPECT_THAT(info.err, HasSubstr(PathOf(0)));
  EXPECT_THAT(info.err, HasSubstr(PathOf(1)));
  EXPECT_EQ(info.out, "");
}

TEST_F(SeveralDevicesTest, SetIdentityWritesOnlyOnTheDeviceChosen) {
  MakeBench({{"KST0001", ""}, {"KST0002", ""}});
  std::filesystem::create_directory(m_folder.File("Infos"));
  testkit::WriteFileText(m_folder.File("Infos/MacList.cfg"), "RANGE 02-4B-53-00-00-00 10 500\n");
  testkit::WriteFileText(m_folder.File("Infos/NextSerial.cfg"), "500\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> err;  // each on stderr
    std::string out;               // on stdout; "": nothing at all
  };
  const Case cases[] = {
      // Refused before any question, whatever answers were given in advance.
      {{"set-identity", "--yes"},
       kExitNoDevice,
       {"2 devices are attached", "--device", "USB serial KST0001", "USB serial KST0002",
        PathOf(1)},
       ""},
      {{"set-identity"}, kExitNoDevice, {"2 devices are attached"}, ""},
      {{"set-identity", "--serial", "501", "--outside-ranges", "--yes"},
       kExitNoDevice,
       {"--device"},
       ""},
      {{"set-identity", "--yes", "--device", "kst0002"},
       kExitOk,
       {},
       "Device: unique ID 3100-4700-0E-Q307481, USB serial KST0002, " + PathOf(1) +
           "\nSeriennummer einstellen\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Outcome run = Run(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    for (const std::string& said : c.err) EXPECT_THAT(run.err, HasSubstr(said));
    if (c.out.empty()) {
      EXPECT_EQ(run.out, "");
    } else {
      EXPECT_THAT(run.out, HasSubstr(c.out));
    }
  }
}

TEST_F(SeveralDevicesTest, AllProgramsEveryDeviceAndNamesTheOneThatFailed) {
  // The third device leaves the bus for good in the middle of its transfer.
  MakeBench({{"KST0001", ""},
             {"KST0002", ""},
             {"KST0003",
              ", \"faults\": [{\"action\": \"disconnect\", \"request\": \"DNLOAD\", \"nth\": 20, "
              "\"stayAway\": true}]"},
             {"KST0004", ""}});
  const Outcome run = Run({"program", "--all", m_folder.File("fw.bin")});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_EQ(LogLines().size(), 3u);
  EXPECT_THAT(
      run.out,
      HasSubstr(testkit::Utf8(u8"[KST0001] ... Das Gerät wurde erfolgreich programmiert ...\n")));
  EXPECT_THAT(
      run.out,
      HasSubstr(testkit::Utf8(u8"[KST0004] ... Das Gerät wurde erfolgreich programmiert ...\n")));
  EXPECT_THAT(run.out, Not(HasSubstr("[KST0003] ... Das Ger")));
  EXPECT_THAT(run.out, HasSubstr("\nKST0001  succeeded"));
  EXPECT_THAT(run.out, HasSubstr("\nKST0003  failed     Der "));
  EXPECT_THAT(run.err, HasSubstr("[KST0003] Fehler: "));

  const Outcome json = Run({"program", "--all", m_folder.File("fw.bin"), "--json"});
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["ok"], false);
  EXPECT_EQ(document["devices"].size(), 4u);
  EXPECT_EQ(document["devices"][2]["outcome"], "failed");
  EXPECT_EQ(document["devices"][3]["outcome"], "succeeded");
}

TEST_F(SeveralDevicesTest, CtrlCStopsEveryDevice) {
  MakeBench({{"KST0001", ""}, {"KST0002", ""}});
  InterruptCatcher::Raise();  // pending when the runs start: taken once, handed to both
  const Outcome run = Run({"program", "--all", m_folder.File("fw.bin")});
  EXPECT_EQ(run.status, kExitAborted);
  EXPECT_THAT(run.out, HasSubstr("[KST0001] ... User-Abbruch ...\n"));
  EXPECT_THAT(run.out, HasSubstr("[KST0002] ... User-Abbruch ...\n"));
  EXPECT_TRUE(LogLines().empty());
}

// Command lines that must end before the first request that changes a device: one exit status
// per cause, the reason on stderr with the option that helps, and the devices' memories as they
// were.
TEST_F(SeveralDevicesTest, RefusalsEndBeforeTheDeviceWithOneStatusPerCause) {
  m_persist = true;
  testkit::WriteFileBytes(m_folder.File("large.bin"), std::vector<std::uint8_t>(983041, 0xFF));
  testkit::WriteFileBytes(m_folder.File("small.bin"), std::vector<std::uint8_t>(1023, 0xFF));
  testkit::WriteFileText(m_folder.File("a-file"), "not a folder\n");
  std::filesystem::create_directory(m_folder.File("Infos"));
  testkit::WriteFileText(m_folder.File("Infos/MacList.cfg"), "RANGE 02-4B-53-00-00-00 10 500\n");
  testkit::WriteFileText(m_folder.File("Infos/NextSerial.cfg"), "500\n");
  const std::string firmware = m_folder.File("fw.bin");
  testkit::FirmwareImageRecipe larger;
  larger.size = 300 * 1024;
  testkit::WriteFileBytes(m_folder.File("300k.bin"), testkit::BuildFirmwareImage(larger));
  struct Case {
    int devices;
    std::string extra;  // settings of each device
    std::vector<std::string> args;
    int status;
    std::vector<std::string> err;  // each on stderr
    // The question is refused for want of a terminal (Wine gives the tests a console to ask on,
    // which ends its input at once): the refusal then says so, with the option that answers it.
    bool question = false;
  };
  const Case cases[] = {
      {2, "", {"program", firmware}, kExitNoDevice, {"Fehler: ", "--device", "--all"}},
      {2, "", {"info"}, kExitNoDevice, {"2 DFU devices are attached", "--device"}},
      {2, "", {"set-identity", "--serial", "20"}, kExitNoDevice, {"--device"}},
      {1,
       ", \"flashKiB\": 256",
       {"program", m_folder.File("300k.bin")},
       kExitRefused,
       {"Fehler: Die Firmware passt nicht in den Flash (Firmware = 300.0 kB) !"}},
      {1,
       "",
       {"program", m_folder.File("large.bin")},
       kExitRefused,
       {"has 983041 bytes; firmware has at most 983040"}},
      {1,
       "",
       {"program", m_folder.File("small.bin")},
       kExitRefused,
       {"has 1023 bytes; firmware has at least 1024"}},
      {1,
       "",
       {"program", firmware, "--infos", m_folder.File("a-file")},
       kExitRefused,
       {"is a file, not a folder"}},
      {1,
       "",
       {"program", "--all", firmware, "--infos", m_folder.File("a-file")},
       kExitRefused,
       {"is a file, not a folder"}},
      {1,
       "",
       {"set-identity", "--serial", "501"},
       kExitRefused,
       {"no terminal", "--yes answers it"},
       true},
      {1,
       "",
       {"set-identity", "--serial", "5000"},
       kExitRefused,
       {"--outside-ranges answers it"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    std::vector<BenchDevice> devices;
    for (int k = 0; k < c.devices; ++k) {
      devices.push_back({"KST000" + std::to_string(k + 1), c.extra});
    }
    MakeBench(devices);
    ASSERT_EQ(Run({"list"}).status, kExitOk);
    const auto before = Memories();
    ASSERT_EQ(before.size(), 3u * static_cast<std::size_t>(c.devices));
    const Outcome run = Run(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (!c.question || !IsTerminal(stdin)) {
      for (const std::string& said : c.err) EXPECT_THAT(run.err, HasSubstr(said));
    }
    EXPECT_TRUE(Memories() == before) << "a device was changed";
    std::filesystem::remove_all(m_folder.File("memory0"));
    std::filesystem::remove_all(m_folder.File("memory1"));
  }
}

// A missing Infos folder (a mistyped --infos) is made, but not without a word.
TEST_F(SeveralDevicesTest, AMissingInfosFolderIsCreatedWithAMessage) {
  MakeBench({{"KST0001", ""}});
  const std::string infos = m_folder.File("new/Infos");
  const Outcome run = Run({"program", m_folder.File("fw.bin"), "--infos", infos});
  EXPECT_EQ(run.status, kExitOk) << run.err;
  EXPECT_THAT(run.err, HasSubstr("created the Infos folder '" + infos + "'"));
  EXPECT_TRUE(std::filesystem::exists(infos + "/DownloadList.csv"));
  EXPECT_FALSE(std::filesystem::exists(infos + "/DownloadList.csv.probe"));
}

TEST(ProgramAllTest, NoDeviceAttachedIsSaidAlsoInJson) {
  VirtualClock clock;
  DeviceBackend backend(clock, std::make_unique<SimBench>(clock));
  testkit::CapturedStream out;
  testkit::CapturedStream err;
  EXPECT_EQ(ProgramAll(backend, "", "fw.bin", out.File(), err.File(), true), kExitNoDevice);
  EXPECT_EQ(nlohmann::json::parse(out.Text())["outcome"], "noDevice");
  EXPECT_THAT(err.Text(), HasSubstr("no DFU device is attached"));
}

}  // namespace
}  // namespace kestrune::cli
