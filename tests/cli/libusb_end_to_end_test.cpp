// The built program without --simulate, on the machine's libusb API: the simulated bench stands
// behind libusb (preloaded in its place), so every call goes through the USB transport and the
// device bus of this platform, hot-plug and port-chain paths included.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "testkit/captured_stream.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune::cli {
namespace {

using testkit::Utf8;

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

class LibusbEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_folder.File("Infos"));
    for (const char* name : {"MacList.cfg", "NextSerial.cfg"}) {
      const auto bytes = testkit::ReadFileBytes(std::string(KESTRUNE_SOURCE_DIR "/Infos/") + name);
      testkit::WriteFileBytes(m_folder.File(std::string("Infos/") + name), bytes);
    }
    m_image = testkit::BuildFirmwareImage();
    testkit::WriteFileBytes(m_folder.File("firmware.bin"), m_image);
  }

  void Bench(const std::string& json) {
    testkit::WriteFileText(m_folder.File("bench.json"), "{\"devices\": " + json + "}");
    m_environment += " KESTRUNE_SIM_FILE='" + m_folder.File("bench.json") + "'";
  }

  // Runs `kestrune <arguments>` with the simulated libusb and `environment` added.
  ProgramRun Kestrune(const std::string& arguments, const std::string& environment = "") {
    ProgramRun run;
    const std::string command =
        "env -u KESTRUNE_SIMULATE LD_PRELOAD='" KESTRUNE_SIM_LIBUSB "' KESTRUNE_SIM_FOLDER='" +
        m_folder.File("devices") + "'" + m_environment + " " + environment +
        " '" KESTRUNE_PROGRAM "' --infos '" + m_folder.File("Infos") + "' " + arguments + " >'" +
        m_folder.File("out") + "' 2>'" + m_folder.File("err") + "' </dev/null";
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto out = testkit::ReadFileBytes(m_folder.File("out"));
    const auto err = testkit::ReadFileBytes(m_folder.File("err"));
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
  }

  ProgramRun Program(const std::string& environment = "") {
    return Kestrune("program '" + m_folder.File("firmware.bin") + "'", environment);
  }

  std::vector<std::uint8_t> Flash(const std::string& device = "") {
    const std::string folder = device.empty() ? "devices" : "devices/" + device;
    return testkit::ReadFileBytes(m_folder.File(folder + "/flash.bin"));
  }

  testkit::TempFolder m_folder;
  std::string m_environment;
  std::vector<std::uint8_t> m_image;
};

// The first run rewrites the factory option bytes: the chip resets, leaves the bus and comes back
// at the same port with a new address, and the run opens it again by its path. With hot-plug the
// removal is heard at once; without it the run waits for the device by polling.
TEST_F(LibusbEndToEnd, InfoProgramAndSetIdentityThroughTheOptionByteReset) {
  for (const char* hotplug : {"", "KESTRUNE_SIM_NO_HOTPLUG=1"}) {
    SCOPED_TRACE(hotplug);
    std::filesystem::remove_all(m_folder.File("devices"));
    std::filesystem::remove(m_folder.File("Infos/DownloadList.csv"));

    const ProgramRun info = Kestrune("info", hotplug);
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(info.out.starts_with(Utf8(u8"Geräteanzahl : 1\nVendor ID : 0483h\n"))) << info.out;
    EXPECT_EQ(info.err, "");

    const ProgramRun program = Program(hotplug);
    ASSERT_EQ(program.status, 0) << program.out << program.err;
    EXPECT_NE(program.out.find(Utf8(u8"... Warte auf die neue Geräteanmeldung ...")),
              std::string::npos);
    EXPECT_NE(program.out.find(Utf8(u8"... Das Gerät wurde erfolgreich programmiert ...")),
              std::string::npos);
    const auto flash = Flash();
    ASSERT_GE(flash.size(), m_image.size());
    EXPECT_TRUE(std::equal(m_image.begin(), m_image.end(), flash.begin()));
    const auto log = testkit::ReadFileBytes(m_folder.File("Infos/DownloadList.csv"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << "the header and one record";

    const ProgramRun identity = Kestrune("set-identity --yes", hotplug);
    EXPECT_EQ(identity.status, 0) << identity.out << identity.err;
    const ProgramRun after = Kestrune("info", hotplug);
    EXPECT_EQ(after.status, 0);
    EXPECT_EQ(after.out.find("Nicht programmiert"), std::string::npos) << after.out;
  }
}

TEST_F(LibusbEndToEnd, UnplugDuringARunFailsItWithItsMessage) {
  Bench(R"([{"faults": [{"action": "disconnect", "request": "DNLOAD", "nth": 12,
             "stayAway": true}]}])");
  const ProgramRun run = Program();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(Utf8(u8"konnte nicht gelöscht werden")), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(m_folder.File("Infos/DownloadList.csv")));
}

// A device the user may not open names the fix; one held by another program says so. Either
// is told once per command, however often discovery and the run tried.
TEST_F(LibusbEndToEnd, DeviceThatCannotBeOpenedSaysWhyAndExitsOne) {
  const struct {
    const char* environment;
    const char* message;
  } cases[] = {
      {"KESTRUNE_SIM_DENIED=0",
       "kestrune: no permission to open the USB device 1-1.1:1.0: install the udev rule "
       "packaging/linux/60-kestrune.rules"},
      {"KESTRUNE_SIM_BUSY=0", "kestrune: the USB device 1-1.1:1.0 is in use by another program\n"},
  };
  for (const auto& c : cases) {
    for (const char* command : {"info", "list", "program"}) {
      SCOPED_TRACE(std::string(c.environment) + " " + command);
      const ProgramRun run = std::string(command) != "program" ? Kestrune(command, c.environment)
                                                               : Program(c.environment);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(Count(run.err, c.message), 1u) << run.err;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(m_folder.File("Infos/DownloadList.csv")));
}

TEST_F(LibusbEndToEnd, TwoDevicesAreCountedAndNotProgrammed) {
  Bench(R"([{}, {"uniqueId": "2A 00 3C 00 13 51 34 38 39 32 37 31"}])");
  const ProgramRun info = Kestrune("info");
  EXPECT_EQ(info.status, 6);
  EXPECT_TRUE(info.out.starts_with(Utf8(u8"Geräteanzahl : 2\nVendor ID : 0483h\n"))) << info.out;
  const ProgramRun program = Program();
  EXPECT_EQ(program.status, 6) << "refused before the run";
  EXPECT_NE(program.err.find("Fehler"), std::string::npos) << program.err;
}

// Device faults that the simulated bench already exercises in-process end the same way through
// libusb: the ones a run recovers from, and the ones it reports.
TEST_F(LibusbEndToEnd, DeviceFaultsEndAsInTheSimulator) {
  const struct {
    const char* fault;
    int status;
    const char8_t* error;
  } cases[] = {
      {R"({"action": "timeout", "request": "GETSTATUS", "nth": 45})", 0, u8""},
      {R"({"action": "stall", "request": "UPLOAD", "nth": 6})", 0, u8""},
      {R"({"action": "corrupt", "address": "0x08000100"})", 1,
       u8"Beim Prüfen wurde bei Adresse 08000000h ein Fehler entdeckt !"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    std::filesystem::remove_all(m_folder.File("devices"));
    m_environment.clear();
    Bench(std::string("[{\"faults\": [") + c.fault + "]}]");
    const ProgramRun run = Program();
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE(run.err.find(Utf8(c.error)), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace kestrune::cli
