// `kestrune program` on the console window, on a simulated bench.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "cli/cli.h"
#include "cli/interrupt_catcher.h"
#include "cli/program_command.h"
#include "dfu/stdfu.h"
#include "sim/sim_bench.h"
#include "testkit/captured_stream.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune::cli {
namespace {

using testing::HasSubstr;

// UTF-8 as the terminal shows it; the program's own texts are CP1252.
#define UTF8(s) reinterpret_cast<const char*>(u8##s)

class ProgramTest : public ::testing::Test {
 protected:
  // A bench with `devices` default devices that work without delay and come back at once;
  // `adjust` changes each before it is added.
  void MakeBench(int devices, const std::function<void(SimDeviceConfig&)>& adjust = {}) {
    auto owned = std::make_unique<SimBench>(clock);
    bench = owned.get();
    for (int i = 0; i < devices; ++i) {
      SimDeviceConfig device = DefaultSimDevice("");
      device.timing = InstantTiming();
      device.returnDelayMs = 20;
      device.instance = "dev" + std::to_string(i);
      if (adjust) adjust(device);
      ASSERT_TRUE(bench->AddDevice(std::move(device)).device.has_value());
    }
    bench->StartEventThread();
    backend = std::make_unique<DeviceBackend>(clock, std::move(owned));
  }
  std::string Firmware(const testkit::FirmwareImageRecipe& recipe = {}) {
    image = testkit::BuildFirmwareImage(recipe);
    const std::string path = folder.File("firmware.bin");
    testkit::WriteFileBytes(path, image);
    return path;
  }
  int Program(const std::string& path, bool terminal = false, const ProgramChoices& choices = {}) {
    ConsoleOptions console;
    console.out = out.File();
    console.err = err.File();
    console.progressBar = terminal;
    return ProgramFirmware(*backend, backend->Bus(), folder.File("Infos"), path, console, {},
                           choices);
  }
  int Program(const std::string& path, const ProgramChoices& choices) {
    ConsoleOptions console;
    console.out = out.File();
    console.err = err.File();
    return ProgramFirmware(*backend, backend->Bus(), folder.File("Infos"), path, console, {},
                           choices);
  }
  std::vector<std::uint8_t> Flash() {
    return bench->Peek(0, 0, 0x08000000, static_cast<std::uint32_t>(image.size()));
  }
  std::string Log() {
    const auto bytes = testkit::ReadFileBytes(folder.File("Infos/DownloadList.csv"));
    return std::string(bytes.begin(), bytes.end());
  }

  // Real time: a virtual clock would let the worker's waits run ahead of the window's thread,
  // which enumerates the returning device.
  Clock& clock = SystemClock();
  SimBench* bench = nullptr;
  std::unique_ptr<DeviceBackend> backend;
  testkit::TempFolder folder;
  testkit::CapturedStream out;
  testkit::CapturedStream err;
  std::vector<std::uint8_t> image;
};

TEST_F(ProgramTest, AVerifiedRunPrintsEachStatusOnItsLineWithABarAndExitsZero) {
  MakeBench(1);
  ASSERT_EQ(Program(Firmware(), true), kExitOk);
  const std::string text = out.Text();
  for (const char* line :
       {UTF8("... Öffne Gerät ...\n"), UTF8("... Warte auf die neue Geräteanmeldung ...\n"),
        UTF8("... Gerät neu öffnen ...\n"), UTF8("... Prüfe den Flash ab (08000000h) ...\n"),
        UTF8("... Das Gerät wurde erfolgreich programmiert ...\n")}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  // The bar ends at the whole file, with the rate and the time it took; then the total time.
  EXPECT_THAT(text, HasSubstr("] 100 %  48.0/48.0 kB  "));
  EXPECT_THAT(text, HasSubstr(" kB/s  00:"));
  EXPECT_THAT(text, HasSubstr("\ntotal time 00:"));
  EXPECT_THAT(text, testing::EndsWith("\n"));
  EXPECT_EQ(err.Text(), "");
  EXPECT_EQ(bench->Peek(0, 0, 0x08000000, static_cast<std::uint32_t>(image.size())), image);
  EXPECT_NE(Log().find("\"firmware.bin\";\"KST-F4\""), std::string::npos);
}

TEST_F(ProgramTest, WithoutATerminalProgressIsLeftOut) {
  MakeBench(1);
  ASSERT_EQ(Program(Firmware()), kExitOk);
  EXPECT_EQ(out.Text().find('\r'), std::string::npos);
  EXPECT_EQ(out.Text().find('%'), std::string::npos);
}

// Several devices share one console under --all: each prints its progress as a line at every
// quarter, behind its name, and never redraws in place.
TEST_F(ProgramTest, ProgressInQuartersIsPrintedAsLinesBehindTheDevicesName) {
  MakeBench(1);
  const std::string path = Firmware();
  ConsoleOptions console;
  console.out = out.File();
  console.err = err.File();
  console.progressQuarters = true;
  console.linePrefix = "[dev0] ";
  ASSERT_EQ(ProgramFirmware(*backend, folder.File("Infos"), path, console), kExitOk);
  const std::string text = out.Text();
  EXPECT_EQ(text.find('\r'), std::string::npos);
  std::size_t at = 0;
  for (const char* line : {"\n[dev0] 25 %  00:", "\n[dev0] 50 %  00:", "\n[dev0] 75 %  00:",
                           "\n[dev0] 100 %  00:", "\n[dev0] total time 00:"}) {
    const std::size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << " after " << at << " in\n" << text;
    EXPECT_EQ(text.find(line, found + 1), std::string::npos) << line << " twice";
    at = found + 1;
  }
}

TEST_F(ProgramTest, RefusalsAndFailuresGoToStderrWithTheirExitStatus) {
  struct Case {
    int devices;
    testkit::FirmwareImageRecipe recipe;
    bool missingFile;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {0,
       {},
       false,
       kExitNoDevice,
       UTF8("Fehler: Es ist kein Cortex-M4 Gerät via USB angeschlossen !\n\n")},
      {2,
       {},
       false,
       kExitNoDevice,
       UTF8("Fehler: Es ist mehr als ein Cortex-M4 Gerät via USB angeschlossen")},
      {1, {}, true, kExitRefused, UTF8("Fehler: Es ist keine gültige Firmware-Datei !\n")},
      {1,
       {.hardwareCode = 1},
       false,
       kExitRefused,
       UTF8("Fehler: Die Firmware-Datei ist nicht für eine")},
      // Passes the checks of OK; its plan refuses it before the run.
      {1,
       {.size = 0x100000},
       false,
       kExitRefused,
       UTF8("Fehler: Die Firmware-Datei existiert nicht, oder hat die falsche Größe !\n")},
  };
  for (const Case& c : cases) {
    MakeBench(c.devices);
    std::string path = Firmware(c.recipe);
    if (c.missingFile) path = folder.File("missing.bin");
    const std::size_t before = err.Text().size();
    EXPECT_EQ(Program(path), c.status) << c.message;
    EXPECT_EQ(err.Text().find(c.message, before), before) << err.Text();
  }
  EXPECT_EQ(Log(), "");
}

// The device is programmed however the log fails; the warning says which file lacks its line.
TEST_F(ProgramTest, ALogLineThatCannotBeWrittenIsWarnedAboutWithExitFour) {
  struct Case {
    const char* name;
    std::function<void(const std::string& infos)> arrange;
  };
  std::vector<Case> cases = {
      {"Infos is a file", [](const std::string& infos) { testkit::WriteFileText(infos, "x"); }},
      {"DownloadList.csv is a folder",
       [](const std::string& infos) {
         std::filesystem::create_directories(infos + "/DownloadList.csv");
       }},
  };
  if (std::filesystem::exists("/dev/full")) {
    cases.push_back({"disk full", [](const std::string& infos) {
                       std::filesystem::create_directories(infos);
                       std::filesystem::create_symlink("/dev/full", infos + "/DownloadList.csv");
                     }});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempFolder infosParent;
    const std::string infos = infosParent.File("Infos");
    c.arrange(infos);
    MakeBench(1);
    const std::string path = Firmware();
    const std::size_t before = err.Text().size();
    ConsoleOptions console;
    console.out = out.File();
    console.err = err.File();
    EXPECT_EQ(ProgramFirmware(*backend, infos, path, console), kExitLogLineMissing);
    EXPECT_EQ(err.Text().substr(before),
              UTF8("Warnung: Das Gerät wurde programmiert, aber seine Zeile im Download-Log fehlt "
                   "!\n\nSie konnte nicht geschrieben werden in:\n") +
                  infos + "/DownloadList.csv\n");
    EXPECT_EQ(bench->Peek(0, 0, 0x08000000, static_cast<std::uint32_t>(image.size())), image);
  }
}

// An F42x boot loader words its memory map differently (one blank after the flash's name, the
// OTP area of both banks); the run reads its map and programs it all the same.
TEST_F(ProgramTest, AnF42xBootLoadersWordingOfTheMapIsProgrammed) {
  MakeBench(1, [](SimDeviceConfig& device) {
    device.flashKiB = 2048;
    device.interfaceStrings = BootLoaderInterfaceStrings(2048, SimStringVariant::F42x);
  });
  ASSERT_EQ(Program(Firmware()), kExitOk) << err.Text();
  EXPECT_EQ(Flash(), image);
}

// A device that will not give its unique ID is programmed and logged without it, with a warning
// and the exit status of a log line that is missing.
TEST_F(ProgramTest, ADeviceThatWithholdsItsUniqueIdIsProgrammedWithAWarningAndExitFour) {
  MakeBench(1, [](SimDeviceConfig& device) { device.strictness.uniqueIdReadable = false; });
  EXPECT_EQ(Program(Firmware()), kExitLogLineMissing);
  EXPECT_EQ(err.Text(),
            UTF8("Warnung: Das Gerät wurde programmiert, aber seine Unique-ID konnte nicht gelesen "
                 "werden !\n\nSeine Zeile im Download-Log nennt das Gerät nicht.\n"));
  EXPECT_EQ(Flash(), image);
  EXPECT_NE(Log().find("\"firmware.bin\";\"KST-F4\""), std::string::npos);
}

// Read protection level 1: without --unprotect the box's text is followed by the reason and the
// way out, and the device is left as it was; with it the chip is erased, comes back unprotected
// and is programmed and verified.
TEST_F(ProgramTest, AReadProtectedDeviceIsRefusedWithItsReasonOrUnprotectedWhenAsked) {
  const auto levelOne = [](SimDeviceConfig& device) {
    device.optionBytes = WithOptionComplements({0xEF, 0x55, 0, 0, 0, 0, 0, 0, 0xFF, 0x0F});
  };
  MakeBench(1, levelOne);
  const std::string path = Firmware();
  const std::vector<std::uint8_t> before = Flash();
  EXPECT_EQ(Program(path, ProgramChoices{}), kExitFailed);
  EXPECT_EQ(err.Text(),
            UTF8("Fehler: Vom Gerät konnten die Optionen nicht abgefragt werden !\n"
                 "kestrune: the device is read-protected (level 1) and refuses every read and "
                 "write; 'kestrune program --unprotect FILE' removes the protection, which erases "
                 "the whole chip\n"));
  EXPECT_EQ(Flash(), before);
  EXPECT_EQ(bench->Peek(0, 1, 0x1FFFC000, 2)[1], 0x55);
  EXPECT_EQ(Log(), "");

  MakeBench(1, levelOne);
  const std::size_t errBefore = err.Text().size();
  EXPECT_EQ(Program(path, ProgramChoices{.unprotect = true}), kExitOk);
  EXPECT_EQ(err.Text().substr(errBefore), "");
  EXPECT_NE(out.Text().find(UTF8("... Das Gerät wurde erfolgreich programmiert ...\n")),
            std::string::npos);
  EXPECT_EQ(Flash(), image);
  EXPECT_EQ(bench->Peek(0, 1, 0x1FFFC000, 2)[1], 0xAA);
  EXPECT_NE(Log().find("\"firmware.bin\";\"KST-F4\""), std::string::npos);
}

// --leave starts the firmware only after a verified run: the device leaves its boot loader and
// the bus (it would come back only after a minute here). After a failed verification it stays.
TEST_F(ProgramTest, LeaveReachesTheDeviceAfterAVerifiedRunOnly) {
  const auto optionsInPlaceAndSlowReturn = [](SimDeviceConfig& device) {
    device.optionBytes = WithOptionComplements({0xE3, 0xAA, 0, 0, 0, 0, 0, 0, 0xFF, 0x3F});
    device.returnDelayMs = 60000;
  };
  MakeBench(1, optionsInPlaceAndSlowReturn);
  EXPECT_EQ(Program(Firmware(), ProgramChoices{.leave = true}), kExitOk) << err.Text();
  EXPECT_FALSE(bench->IsPresent(0));
  EXPECT_EQ(Flash(), image);

  MakeBench(1, [&](SimDeviceConfig& device) {
    optionsInPlaceAndSlowReturn(device);
    SimFault corrupt;
    corrupt.action = SimFaultAction::Corrupt;
    corrupt.address = 0x08000100;
    device.faults.push_back(corrupt);
  });
  EXPECT_EQ(Program(Firmware(), ProgramChoices{.leave = true}), kExitFailed);
  EXPECT_TRUE(bench->IsPresent(0));
  EXPECT_NE(bench->DfuStateOf(0), dfuMANIFEST);
}

TEST_F(ProgramTest, CtrlCDuringARunAbortsItWithExitThree) {
  MakeBench(1);
  InterruptCatcher::Raise();  // pending when the run starts: handed over as "Abbrechen"
  EXPECT_EQ(Program(Firmware()), kExitAborted);
  EXPECT_NE(out.Text().find("... User-Abbruch ...\n"), std::string::npos);
  EXPECT_EQ(Log(), "");
}

TEST_F(ProgramTest, ADryRunPrintsEachSectorsActionAndLeavesTheDeviceAsItWas) {
  MakeBench(1);
  const std::string path = Firmware();  // 48 KiB: sectors 0 to 2
  const std::vector<std::uint8_t> options = bench->Peek(0, 1, 0x1FFFC000, 16);
  ASSERT_EQ(Program(path, false, {false, false, true, true}), kExitOk);
  EXPECT_EQ(out.Text(),
            "option bytes  rewritten (read protection 0, no write protection); the device "
            "resets\n"
            "sector  0  08000000h    16 KiB  write (blank)       16384 bytes to write\n"
            "sector  1  08004000h    16 KiB  write (blank)       16384 bytes to write\n"
            "sector  2  08008000h    16 KiB  write (blank)       16384 bytes to write\n"
            "erase 0 of 3 sectors, write and verify 49152 of 49152 bytes; the device was not "
            "changed\n");
  EXPECT_EQ(bench->Peek(0, 1, 0x1FFFC000, 16), options);  // not even the option bytes
  EXPECT_EQ(bench->Peek(0, 0, 0x08000000, 49152), std::vector<std::uint8_t>(49152, 0xFF));
  EXPECT_FALSE(std::filesystem::exists(folder.File("Infos/DownloadList.csv")));
}

// The dry run reads the option bytes to tell what the run would do before the flash: leave
// them, rewrite them, or remove a read protection (erasing the chip); a protected device without
// --unprotect is where the run would stop. None of it changes the device.
TEST_F(ProgramTest, ADryRunTellsWhatTheRunWouldDoToTheOptionBytes) {
  struct Case {
    std::vector<std::uint8_t> options;  // bytes 0, 1, 8, 9
    bool unprotect;
    int status;
    const char* firstLine;  // on stdout, or with "Fehler: " on stderr
  };
  const Case cases[] = {
      {{0xE3, 0xAA, 0xFF, 0x3F}, false, kExitOk, "option bytes  as required, left alone\n"},
      {{0xEF, 0xAA, 0xFF, 0x3F},
       false,
       kExitOk,
       "option bytes  rewritten (read protection 0, no write protection); the device resets\n"},
      {{0xEF, 0x55, 0xFF, 0x0F},
       true,
       kExitOk,
       "read protection  removed, which erases the whole chip; the device resets\n"},
      {{0xEF, 0x55, 0xFF, 0x0F},
       false,
       kExitFailed,
       "Fehler: the device is read-protected (level 1): a run would stop before the flash; "
       "--unprotect removes the protection, which erases the whole chip\n"},
  };
  const std::string path = Firmware();  // 48 KiB: sectors 0 to 2
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firstLine);
    MakeBench(1, [&](SimDeviceConfig& device) {
      device.optionBytes = WithOptionComplements(
          {c.options[0], c.options[1], 0, 0, 0, 0, 0, 0, c.options[2], c.options[3]});
    });
    const std::vector<std::uint8_t> options = bench->Peek(0, 1, 0x1FFFC000, 16);
    const std::size_t outBefore = out.Text().size();
    const std::size_t errBefore = err.Text().size();
    EXPECT_EQ(
        Program(path,
                ProgramChoices{.unprotect = c.unprotect, .skipUnchanged = true, .dryRun = true}),
        c.status);
    const std::string printed = (c.status == kExitOk ? out : err)
                                    .Text()
                                    .substr(c.status == kExitOk ? outBefore : errBefore);
    EXPECT_TRUE(printed.starts_with(c.firstLine)) << printed;
    // Once the protection is gone the chip is blank: every sector would be written unerased.
    if (c.status == kExitOk) {
      EXPECT_THAT(printed, HasSubstr("erase 0 of 3 sectors"));
    }
    EXPECT_EQ(bench->Peek(0, 1, 0x1FFFC000, 16), options);
    EXPECT_EQ(bench->Peek(0, 0, 0x08000000, 49152), std::vector<std::uint8_t>(49152, 0xFF));
  }
  EXPECT_FALSE(std::filesystem::exists(folder.File("Infos/DownloadList.csv")));
}

TEST_F(ProgramTest, SkipUnchangedOnADeviceThatHoldsTheImageWritesNothingAndLogsTheRun) {
  MakeBench(1);
  const std::string path = Firmware();
  ASSERT_EQ(Program(path), kExitOk);
  ASSERT_EQ(Program(path, false, {false, false, true, true}), kExitOk);
  EXPECT_THAT(out.Text(), HasSubstr("sector  2  08008000h    16 KiB  skip (unchanged)    "
                                    "    0 bytes to write\n"
                                    "erase 0 of 3 sectors, write and verify 0 of 49152 bytes"));
  ASSERT_EQ(Program(path, false, {false, false, true, false}), kExitOk);
  // What the last run printed, behind the dry run's last line.
  const std::string text = out.Text().substr(out.Text().rfind("not changed"));
  EXPECT_THAT(text, HasSubstr(UTF8("... Sektor 0   (08000000h) ist unverändert ...\n")));
  EXPECT_THAT(text, HasSubstr(UTF8("... Sektor 2   (08008000h) ist unverändert ...\n")));
  EXPECT_THAT(text, testing::Not(HasSubstr("Programmiere")));
  EXPECT_EQ(bench->Peek(0, 0, 0x08000000, static_cast<std::uint32_t>(image.size())), image);
  const std::string log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);  // the header and two runs
}

// With a ledger every verified run is recorded there too; when the ledger is away the run still
// ends verified, with a warning, and its record waits in the queue for the next contact.
TEST_F(ProgramTest, AVerifiedRunIsRecordedInTheLedgerOrQueuedWhileItIsAway) {
  std::filesystem::create_directories(folder.File("Infos"));
  testkit::WriteFileText(folder.File("Infos/Ledger.cfg"), "LEDGER share/ledger.csv\n");
  const std::string firmware = Firmware();
  const auto program = [&] {
    return Main({"--simulate", "--infos", folder.File("Infos"), "program", firmware}, out.File(),
                err.File());
  };
  ASSERT_EQ(program(), kExitOk) << err.Text();
  EXPECT_THAT(err.Text(), HasSubstr("ist nicht erreichbar !"));
  const auto text = [](const std::string& path) {
    const auto bytes = testkit::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  };
  const std::string queue = folder.File("Infos/LedgerQueue.csv");
  EXPECT_THAT(text(queue), HasSubstr(";firmware.bin;"));

  std::filesystem::create_directories(folder.File("Infos/share"));
  ASSERT_EQ(program(), kExitOk) << err.Text();
  EXPECT_EQ(text(queue), "");
  const std::string ledger = text(folder.File("Infos/share/ledger.csv"));
  std::size_t runs = 0;
  for (std::size_t at = 0; (at = ledger.find("\nrun;", at)) != std::string::npos; ++at) ++runs;
  EXPECT_EQ(runs, 2u) << ledger;
  EXPECT_THAT(ledger, HasSubstr(";firmware.bin;"));
}

TEST_F(ProgramTest, TheCommandLineWantsOneFile) {
  EXPECT_EQ(Main({"--simulate", "program"}, out.File(), err.File()), kExitUsage);
  EXPECT_EQ(Main({"--simulate", "program", "a.bin", "b.bin"}, out.File(), err.File()), kExitUsage);
  EXPECT_NE(err.Text().find("program FILE"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::cli
