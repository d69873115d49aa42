#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/info_command.h"
#include "sim/sim_bench.h"
#include "testkit/captured_stream.h"

namespace kestrune::cli {
namespace {

struct InfoRun {
  int status;
  std::string out;
  std::string err;
};

InfoRun Info(const std::vector<SimDeviceConfig>& devices) {
  static VirtualClock clock;
  auto bench = std::make_unique<SimBench>(clock);
  for (const SimDeviceConfig& device : devices) EXPECT_TRUE(bench->AddDevice(device).device);
  DeviceBackend backend(clock, std::move(bench));
  testkit::CapturedStream out;
  testkit::CapturedStream err;
  const int status = PrintDeviceInfo(backend, out.File(), err.File());
  return {status, out.Text(), err.Text()};
}

TEST(InfoCommand, PrintsTheDeviceGroupsInWindowOrder) {
  const InfoRun one = Info({DefaultSimDevice("")});
  EXPECT_EQ(one.status, kExitOk);
  EXPECT_EQ(one.out, testkit::Utf8(u8"Geräteanzahl : 1\n"
                                   u8"Vendor ID : 0483h\n"
                                   u8"Device ID : DF11h\n"
                                   u8"Version : 011Ah\n"
                                   u8"Device BCD : 2200h\n"
                                   u8"Flash Size : 1024 kB\n"
                                   u8"Unique ID : 3100-4700-0E-Q307486\n"
                                   u8"Seriennummer : Nicht programmiert\n"
                                   u8"Vergabe am : ---\n"
                                   u8"MAC A : AC-DE-48-85-51-8A\n"
                                   u8"MAC B : AC-DE-48-85-51-8B\n"
                                   u8"Gerätefehler : 0  Identität : 1\n"));
}

TEST(InfoCommand, FailsUnlessExactlyOneGoodDevice) {
  // No device: said on stderr, and no empty fields as if one were there.
  const InfoRun none = Info({});
  EXPECT_EQ(none.status, kExitNoDevice);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "kestrune: no DFU device is attached\n");

  // Several: the count and the first one's descriptors, and the way to choose one.
  SimDeviceConfig second = DefaultSimDevice("");
  second.instance = "second";
  const InfoRun two = Info({DefaultSimDevice(""), second});
  EXPECT_EQ(two.status, kExitNoDevice);
  EXPECT_TRUE(two.out.starts_with(testkit::Utf8(u8"Geräteanzahl : 2\nVendor ID : 0483h\n")))
      << two.out;
  EXPECT_NE(two.err.find("2 DFU devices are attached; choose one with --device"), std::string::npos)
      << two.err;

  SimDeviceConfig plainDfu = DefaultSimDevice("");
  plainDfu.bcdDFUVersion = 0x0110;
  const InfoRun failing = Info({plainDfu});
  EXPECT_EQ(failing.status, kExitFailed);
  EXPECT_NE(failing.out.find("Version : 0110h\nDevice BCD : 2200h\nFlash Size :\nUnique ID :\n"),
            std::string::npos)
      << failing.out;
  EXPECT_TRUE(failing.out.ends_with(testkit::Utf8(u8"Gerätefehler : 1  Identität : 1\n")))
      << failing.out;
}

TEST(InfoCommand, CommandLine) {
  // Without --simulate the machine's own USB is asked: the test machine has no device.
  testkit::CapturedStream real;
  testkit::CapturedStream realErr;
  EXPECT_EQ(Main({"info"}, real.File(), realErr.File()), kExitNoDevice);
  EXPECT_EQ(real.Text(), "");
  EXPECT_EQ(realErr.Text(), "kestrune: no DFU device is attached\n");

  testkit::CapturedStream out;
  testkit::CapturedStream err;
  EXPECT_EQ(Main({"--simulate", "info", "extra"}, out.File(), err.File()), kExitUsage);
  EXPECT_EQ(Main({"--simulate=/nonexistent/bench.json", "info"}, out.File(), err.File()),
            kExitRefused);
  EXPECT_NE(err.Text().find("/nonexistent/bench.json"), std::string::npos) << err.Text();
  EXPECT_EQ(out.Text(), "");

  // The default simulated device (its images beside the test program).
  testkit::CapturedStream simulated;
  EXPECT_EQ(Main({"--simulate", "info"}, simulated.File(), err.File()), kExitOk);
  EXPECT_TRUE(
      simulated.Text().starts_with(testkit::Utf8(u8"Geräteanzahl : 1\nVendor ID : 0483h\n")));
}

}  // namespace
}  // namespace kestrune::cli
