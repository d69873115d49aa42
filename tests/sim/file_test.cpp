#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dfu/stdfu.h"
#include "sim/sim_file.h"
#include "sim_requests.h"

namespace kestrune::simtest {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

fs::path FreshFolder(const std::string& name) {
  const fs::path folder = fs::path(KESTRUNE_BINARY_DIR) / "sim-test" / name;
  fs::remove_all(folder);
  return folder;
}

TEST(SimulatorFile, ExampleDescribesTwoDevices) {
  const fs::path example = fs::path(KESTRUNE_SOURCE_DIR) / "examples" / "two-devices.json";
  const SimFileResult read = ReadSimulatorFile(example.string(), "/default");
  ASSERT_EQ(read.error, "");
  ASSERT_EQ(read.devices.size(), 2u);
  const SimDeviceConfig& plain = read.devices[0];
  EXPECT_EQ(plain.serialNumber, "367F34683033");
  EXPECT_EQ(plain.optionBytes[0], 0xEF);
  EXPECT_EQ(fs::path(plain.imageFolder), fs::path("/default") / "367F34683033");
  const SimDeviceConfig& used = read.devices[1];
  EXPECT_EQ(used.flashKiB, 2048u);
  EXPECT_EQ(used.interfaceStrings[1], "@Option Bytes  /0x1FFFC000/01*016 e/0x1FFEC000/01*016 e");
  EXPECT_EQ(Bytes(used.optionBytes.begin(), used.optionBytes.end()),
            (Bytes{0xE3, 0xAA, 0x1C, 0x55, 0x1C, 0x55, 0x1C, 0x55, 0xFF, 0x3F, 0x00, 0xC0, 0x00,
                   0xC0, 0x00, 0xC0}));
  EXPECT_EQ(used.otp[32 + 6], 0x7A);
  EXPECT_EQ(used.otp[32 + 16], 0xFF);  // the rest of the block stays free
  EXPECT_EQ(used.lockedOtpBlocks, std::vector<std::uint32_t>{0});
  EXPECT_EQ(used.timing.erase128KMs, 1300u);
  EXPECT_EQ(used.timing.erase16KMs, DatasheetTiming().erase16KMs);
  EXPECT_EQ(used.timing.controlTransferUs, 1000u);
  EXPECT_EQ(used.timing.dataBytesPerMs, 512u);
  ASSERT_EQ(used.faults.size(), 3u);
  EXPECT_EQ(used.faults[1].action, SimFaultAction::DfuError);
  EXPECT_EQ(used.faults[1].status, errWRITE);
  EXPECT_EQ(used.faults[2].address, 0x08000100u);
}

TEST(SimulatorFile, ExampleMakesABenchOfTwoDevices) {
  const fs::path folder = FreshFolder("example");
  const fs::path example = fs::path(KESTRUNE_SOURCE_DIR) / "examples" / "two-devices.json";
  VirtualClock clock;
  const SimBenchResult made = MakeSimBench(clock, example.string(), folder.string());
  ASSERT_TRUE(made.bench) << made.error;
  EXPECT_EQ(
      made.bench->PresentInterfaces(kDfuInterfaceClass),
      (std::vector<std::string>{
          "\\\\?\\usb#vid_0483&pid_df11#367f34683033#{3fe809ab-fb91-4cb5-a643-69670d52366e}",
          "\\\\?\\usb#vid_0483&pid_df11#3a7f4e2b3431#{3fe809ab-fb91-4cb5-a643-69670d52366e}"}));
  EXPECT_TRUE(fs::exists(folder / "3A7F4E2B3431" / "otp.bin"));
  EXPECT_EQ(made.bench->Peek(1, 2, 0x1FFF7A00, 2), (Bytes{0x00, 0xFF}));  // block 0 locked
  EXPECT_EQ(made.bench->Peek(1, 2, 0x1FFF7A22, 2), (Bytes{0x00, 0x08}));  // 2048 KiB
}

TEST(SimulatorFile, DefaultsFillWhatIsLeftOut) {
  const SimFileResult read = ParseSimulatorFile(
      R"({"devices": [{"instance": "Bench-1"}, {"persist": false, "otp": {"locks":
          "00 0F FF FF FF FF FF FF FF FF FF FF FF FF FF FF"}}]})",
      "/files", "/images");
  ASSERT_EQ(read.error, "");
  EXPECT_EQ(fs::path(read.devices[0].imageFolder), fs::path("/images") / "Bench-1");
  EXPECT_EQ(read.devices[1].imageFolder, "");
  EXPECT_EQ(read.devices[1].interfaceStrings, BootLoaderInterfaceStrings(1024));
  const SimFileResult f42x = ParseSimulatorFile(
      R"({"devices": [{"flashKiB": 2048, "interfaceStrings": "f42x"}]})", "/files", "/images");
  ASSERT_EQ(f42x.error, "");
  EXPECT_EQ(f42x.devices[0].interfaceStrings,
            BootLoaderInterfaceStrings(2048, SimStringVariant::F42x));
  EXPECT_EQ(read.devices[1].returnDelayMs, 1000u);
  EXPECT_EQ(read.devices[1].otpLocks[1], 0x0F);
  EXPECT_EQ(read.devices[0].otpLocks[1], 0xFF);
}

TEST(SimulatorFile, StrictnessIsStrictUnlessToldOtherwise) {
  const SimFileResult read = ParseSimulatorFile(
      R"({"devices": [{}, {"strictness": "lenient"},
          {"strictness": {"model": "lenient", "holdBusyAnswer": true, "busyPollMs": 104}},
          {"strictness": {"otpOverrun": "stall", "uniqueIdReadable": false,
                          "errorAtFirstStatus": true}}]})",
      "/files", "/images");
  ASSERT_EQ(read.error, "");
  const SimStrictness& strict = read.devices[0].strictness;
  EXPECT_TRUE(strict.protectAllAlternates && strict.holdBusyAnswer);
  EXPECT_EQ(strict.otpOverrun, SimOtpOverrun::ShortFrame);
  EXPECT_FALSE(strict.keepUndefinedOptionBits);
  const SimStrictness& lenient = read.devices[1].strictness;
  EXPECT_FALSE(lenient.protectAllAlternates || lenient.holdBusyAnswer);
  EXPECT_EQ(lenient.otpOverrun, SimOtpOverrun::WholeWindow);
  EXPECT_TRUE(lenient.keepUndefinedOptionBits);
  EXPECT_TRUE(read.devices[2].strictness.holdBusyAnswer);
  EXPECT_FALSE(read.devices[2].strictness.protectAllAlternates);
  EXPECT_EQ(read.devices[2].strictness.busyPollMs, 104u);
  EXPECT_EQ(read.devices[3].strictness.otpOverrun, SimOtpOverrun::Stall);
  EXPECT_FALSE(read.devices[3].strictness.uniqueIdReadable);
  EXPECT_TRUE(read.devices[3].strictness.errorAtFirstStatus);

  const SimFileResult bad = ParseSimulatorFile(
      R"({"devices": [{"strictness": {"otpOverrun": "sometimes"}}]})", "/files", "/images");
  EXPECT_NE(bad.error.find("devices[0].strictness.otpOverrun"), std::string::npos) << bad.error;
}

TEST(SimulatorFile, DeviceFaultsAndReturnsAreRead) {
  const SimFileResult read = ParseSimulatorFile(
      R"({"devices": [{"returnInstance": "after-reset", "returnInDfu": false, "faults": [
          {"action": "partial", "request": "DNLOAD", "nth": 3, "bytes": 100},
          {"action": "garble", "request": "UPLOAD", "offset": 7, "xor": "0x80"},
          {"action": "wrongState", "request": "GETSTATUS", "state": 5},
          {"action": "pollTimeout", "request": "GETSTATUS", "pollMs": 5000},
          {"action": "busy", "request": "OPEN", "count": 2}]}]})",
      "/files", "/images");
  ASSERT_EQ(read.error, "");
  const SimDeviceConfig& device = read.devices[0];
  EXPECT_EQ(device.returnInstance, "after-reset");
  EXPECT_FALSE(device.returnInDfu);
  ASSERT_EQ(device.faults.size(), 5u);
  EXPECT_EQ(device.faults[0].action, SimFaultAction::Partial);
  EXPECT_EQ(device.faults[0].bytes, 100u);
  EXPECT_EQ(device.faults[1].offset, 7u);
  EXPECT_EQ(device.faults[1].xorMask, 0x80);
  EXPECT_EQ(device.faults[2].state, 5);
  EXPECT_EQ(device.faults[3].pollMs, 5000u);
  EXPECT_EQ(device.faults[4].request, SimRequest::Open);
  EXPECT_EQ(device.faults[4].count, 2u);
}

TEST(SimulatorFile, BadFilesSayWhatAndWhere) {
  const std::pair<const char*, const char*> cases[] = {
      {"{\"devices\": [", "line 1, column 14"},
      {"[]", "file: expected an object"},
      {R"({"devices": []})", "devices: expected a list of 1 to 16 devices"},
      {R"({"device": []})", "file: unknown setting \"device\""},
      {R"({"devices": [], "devices": [{}]})", "file: setting \"devices\" appears twice"},
      {R"({"devices": [{}, {"persist": false, "timing": {"model": "instant", "model": "instant"}}]})",
       "devices[1].timing: setting \"model\" appears twice"},
      {R"({"devices": [{"faults": [{"action": "fail", "request": "UPLOAD"}, {"nth": 1, "nth": 2}]}]})",
       "devices[0].faults[1]: setting \"nth\" appears twice"},
      {R"({"devices": [{"vid": "0x1G"}]})", "devices[0].vid: \"0x1G\" is not a number"},
      {R"({"devices": [{"pid": 70000}]})", "devices[0].pid: 70000 is larger than 65535"},
      {R"({"devices": [{"vid": -1}]})", "devices[0].vid: expected a number"},
      {R"({"devices": [{"flashKiB": 768}]})", "devices[0].flashKiB: expected 256, 512, 1024"},
      {R"({"devices": [{"uniqueId": "01 02"}]})", "devices[0].uniqueId: expected 12 bytes"},
      {R"({"devices": [{"optionBytes": "E3 AA F"}]})", "devices[0].optionBytes: odd number"},
      {R"({"devices": [{"otp": {"16": "00"}}]})", "devices[0].otp: unknown setting \"16\""},
      {R"({"devices": [{"otp": {"locks": "00"}}]})",
       "devices[0].otp.locks: expected 16 lock bytes"},
      {R"({"devices": [{"otp": {"1": "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20"}}]})",
       "devices[0].otp.1: a block has 32 bytes"},
      {R"({"devices": [{"otpLockedBlocks": [16]}]})",
       "devices[0].otpLockedBlocks[0]: 16 is larger"},
      {R"({"devices": [{"interfaceStrings": ["@Flash\u00e9"]}]})", "printable ASCII"},
      {R"({"devices": [{"interfaceStrings": "f40x"}]})",
       "devices[0].interfaceStrings: expected \"f42x\" or a list"},
      {R"({"devices": [{"instance": "a#b"}]})", "devices[0].instance: \"a#b\" may hold only"},
      {R"({"devices": [{"instance": ".."}]})", "devices[0].instance: \"..\" may hold only"},
      {R"({"devices": [{"serialNumber": "A:1"}]})", "defaults to the serial number"},
      {R"({"devices": [{"timing": "fast"}]})",
       "devices[0].timing: expected one of instant, datasheet"},
      {R"({"devices": [{"timing": {"dataBytesPerMs": 833}}]})",
       "devices[0].timing.dataBytesPerMs: 833 is larger than 832"},
      {R"({"devices": [{"faults": [{"action": "stall"}]}]})",
       "devices[0].faults[0]: missing \"request\""},
      {R"({"devices": [{"faults": [{"action": "fail", "request": "DNLOAD_"}]}]})",
       "devices[0].faults[0].request: expected one of DETACH, DNLOAD, UPLOAD"},
      {R"({"devices": [{"faults": [{"action": "fail", "request": "UPLOAD", "nth": 0}]}]})",
       "count from 1"},
      {R"({"devices": [{"faults": [{"action": "dfuError", "request": "DNLOAD", "status": "errBAD"}]}]})",
       "devices[0].faults[0].status: expected one of errTARGET"},
      {R"({"devices": [{"faults": [{"action": "partial", "request": "UPLOAD"}]}]})",
       "devices[0].faults[0].request: this action needs DNLOAD"},
      {R"({"devices": [{"faults": [{"action": "wrongState", "request": "GETSTATE"}]}]})",
       "this action needs GETSTATUS"},
      {R"({"devices": [{"faults": [{"action": "short", "request": "DNLOAD"}]}]})",
       "this action needs UPLOAD, GETSTATUS, GETSTATE or GET_DESCRIPTOR"},
      {R"({"devices": [{"faults": [{"action": "busy", "request": "UPLOAD"}]}]})",
       "this action needs OPEN"},
      {R"({"devices": [{"faults": [{"action": "stall", "request": "OPEN"}]}]})",
       "OPEN takes the actions fail and busy"},
      {R"({"devices": [{"faults": [{"action": "pollTimeout", "request": "GETSTATUS", "pollMs": 16777216}]}]})",
       "devices[0].faults[0].pollMs: 16777216 is larger than 16777215"},
      {R"({"devices": [{"returnInstance": "a/b"}]})", "devices[0].returnInstance: may hold only"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const SimFileResult read = ParseSimulatorFile(text, "/files", "/images");
    EXPECT_NE(read.error.find(expected), std::string::npos) << read.error;
    EXPECT_TRUE(read.devices.empty());
  }
  const std::string deep(200000, '[');
  EXPECT_EQ(
      ParseSimulatorFile(R"({"devices": )" + deep + std::string(200000, ']') + "}", "", "").error,
      "devices[0]: expected an object");
  EXPECT_NE(ReadSimulatorFile("/no/such/file.json", "").error.find("cannot read"),
            std::string::npos);
}

TEST(SimulatorFile, DuplicatePathsAreRefusedWhenTheBenchIsMade) {
  const fs::path folder = FreshFolder("duplicate");
  fs::create_directories(folder);
  std::ofstream(folder / "sim.json") << R"({"devices": [{"persist": false}, {"persist": false}]})";
  VirtualClock clock;
  const SimBenchResult made = MakeSimBench(clock, (folder / "sim.json").string(), "");
  EXPECT_EQ(made.bench, nullptr);
  EXPECT_NE(made.error.find("device 1: two devices with the path"), std::string::npos);
}

TEST(SimulatorFile, DevicesSharingAnImageFolderAreRefused) {
  const fs::path folder = FreshFolder("shared");
  fs::create_directories(folder);
  std::ofstream(folder / "sim.json") << R"({"devices": [{"folder": "images"},
      {"interfaceClass": "second", "folder": "./images/"}]})";
  VirtualClock clock;
  const SimBenchResult made = MakeSimBench(clock, (folder / "sim.json").string(), "");
  EXPECT_EQ(made.bench, nullptr);
  EXPECT_NE(made.error.find("device 1: two devices with the image folder"), std::string::npos)
      << made.error;
}

TEST(SimulatorImages, PersistBetweenBenchesAndANewFolderIsANewDevice) {
  const fs::path folder = FreshFolder("persist");
  VirtualClock clock;
  {
    SimBenchResult made = MakeSimBench(clock, "", folder.string());
    ASSERT_TRUE(made.bench) << made.error;
    Requests host(*made.bench, 0, clock);
    host.SetAddress(0x08020000);
    host.Write(2, {0x12, 0x34});
    host.ToIdle();
    host.Select(2);
    host.SetAddress(0x1FFF7820);
    host.Write(2, Bytes(32, 0x00));
    host.ToIdle();
    host.Select(1);
    host.SetAddress(0x1FFFC000);
    host.Write(2, {0xE3, 0xAA, 0, 0, 0, 0, 0, 0, 0xFF, 0x3F, 0, 0, 0, 0, 0, 0});
  }
  EXPECT_EQ(fs::file_size(folder / "flash.bin"), 1024u * 1024u);
  {
    SimBenchResult again = MakeSimBench(clock, "", folder.string());
    ASSERT_TRUE(again.bench) << again.error;
    EXPECT_EQ(again.bench->Peek(0, 0, 0x08020000, 3), (Bytes{0x12, 0x34, 0xFF}));
    EXPECT_EQ(again.bench->Peek(0, 2, 0x1FFF7820, 32), Bytes(32, 0x00));
    EXPECT_EQ(again.bench->Peek(0, 1, 0x1FFFC000, 2), (Bytes{0xE3, 0xAA}));
  }
  fs::remove_all(folder);
  SimBenchResult fresh = MakeSimBench(clock, "", folder.string());
  ASSERT_TRUE(fresh.bench);
  EXPECT_EQ(fresh.bench->Peek(0, 0, 0x08020000, 1), Bytes{0xFF});
  EXPECT_EQ(fresh.bench->Peek(0, 1, 0x1FFFC000, 1), Bytes{0xEF});
}

TEST(SimulatorImages, WriteThatCannotBeKeptFailsOnTheDevice) {
  const fs::path folder = FreshFolder("lost");
  VirtualClock clock;
  SimBenchResult made = MakeSimBench(clock, "", folder.string());
  ASSERT_TRUE(made.bench) << made.error;
  Requests host(*made.bench, 0, clock);
  host.SetAddress(0x08000000);
  fs::remove_all(folder);
  const auto status = host.Write(2, {0x00});
  EXPECT_EQ(status->bState, dfuERROR);
  EXPECT_EQ(status->bStatus, errWRITE);
}

TEST(SimulatorImages, ImagesOfTheWrongSizeAreRefused) {
  const fs::path folder = FreshFolder("wrong-size");
  fs::create_directories(folder);
  std::ofstream(folder / "otp.bin") << "short";
  VirtualClock clock;
  const SimBenchResult made = MakeSimBench(clock, "", folder.string());
  EXPECT_EQ(made.bench, nullptr);
  EXPECT_NE(made.error.find("otp.bin has 5 bytes, expected 528"), std::string::npos) << made.error;
}

}  // namespace
}  // namespace kestrune::simtest
