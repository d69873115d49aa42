#include "job/programming_job.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "job_bench.h"

namespace kestrune {
namespace {

using Event = testkit::RecordedRunEvent;

const std::string kLogHeader = "<Zeit>;<Hardware-ID>;<Dateiname>;<Geräteart>;<Version+Datum>;\n";
const std::string kSizeError = "Die Firmware-Datei existiert nicht, oder hat die falsche Größe !";
const std::string kNoFlash = "In den Gerätedaten konnte kein Flash-Speicher gefunden werden !";
const std::string kOptionsError = "Vom Gerät konnten die Optionen nicht abgefragt werden !";
const std::string kSuccess = "... Das Gerät wurde erfolgreich programmiert ...";
const std::string kUserAbort = "... User-Abbruch ...";

void ExpectSucceeded(JobBench& bench) {
  bench.ExpectCleanEnd();
  EXPECT_TRUE(bench.host.Errors().empty()) << bench.host.Errors().front();
  EXPECT_EQ(bench.host.Outcome(), RunOutcome::Succeeded);
  EXPECT_EQ(bench.Flash(static_cast<std::uint32_t>(bench.firmware.size())), bench.firmware);
  const std::regex record(
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d;\"0047003133510E3036383437\";\"fw\\.bin\";"
      "\"KST-4 Steuerung\";\"V2\\.10 from 12\\.11\\.2026\";\n");
  const std::string log = bench.Log();
  ASSERT_EQ(log.substr(0, kLogHeader.size()), kLogHeader);
  EXPECT_TRUE(std::regex_match(log.substr(kLogHeader.size()), record)) << log;
}

// A run that ended with exactly this error box: failed, nothing logged.
void ExpectFailed(JobBench& bench, const std::string& error) {
  bench.ExpectCleanEnd();
  EXPECT_EQ(bench.host.Errors(), std::vector<std::string>{error});
  EXPECT_EQ(bench.host.Outcome(), RunOutcome::Failed);
  EXPECT_EQ(bench.Log(), "");
}

TEST(ProgrammingJob, RewritesOptionBytesOnceWaitsForTheDeviceAndProgramsIt) {
  JobBench bench;
  bench.WriteFirmware(20000);
  bench.Run();

  ExpectSucceeded(bench);
  EXPECT_EQ(
      bench.host.Statuses(),
      (std::vector<std::string>{
          "... Firmware laden ...", "... Öffne Gerät ...", "... Optionen auslesen ...",
          "... Optionen speichern ...", "... Warte auf die neue Geräteanmeldung ...",
          "... Gerät neu öffnen ...", "... Lösche Sektor 0   (08000000h) ...",
          "... Lösche Sektor 1   (08004000h) ...", "... Programmiere Flash ab (08000000h) ...",
          "... Prüfe den Flash ab (08000000h) ...", kSuccess}));
  EXPECT_EQ(bench.OptionWrites(), 1);
  const std::vector<std::uint8_t> options = bench.OptionBytes();
  ASSERT_EQ(options.size(), 16u);
  EXPECT_EQ((std::vector<int>{options[0], options[1], options[8], options[9]}),
            (std::vector<int>{0xE3, 0xAA, 0xFF, 0x3F}));
  EXPECT_EQ(bench.dfu.Opens(), 2);
  EXPECT_GE(bench.host.Count(Event::AwaitingDevice), 1);
}

// The events of a run, in order: each phase starts with the image's size and counts its own bytes
// up to it, one step per erased sector and per data block.
TEST(ProgrammingJob, ErasesOnlyTheSectorsTheFileNeedsAndReportsEachPhasesBytes) {
  JobBench bench(DeviceWithOptionsInPlace());
  bench.WriteFirmware(20000);
  bench.Run();

  ExpectSucceeded(bench);
  EXPECT_EQ(bench.OptionWrites(), 0);
  EXPECT_EQ(bench.dfu.Opens(), 1);
  EXPECT_EQ(bench.host.Count(Event::AwaitingDevice), 0);
  EXPECT_EQ(bench.Erases(), 2);  // 32768 bytes cover the file
  std::vector<std::string> stream;
  for (const Event& event : bench.host.Events()) {
    switch (event.kind) {
      case Event::Phase:
        stream.push_back("phase " + std::to_string(static_cast<int>(event.phase)) + " of " +
                         std::to_string(event.bytes));
        break;
      case Event::Progress:
        stream.push_back(std::to_string(event.bytes));
        break;
      case Event::Succeeded:
        stream.push_back("succeeded");
        break;
      case Event::Finished:
        stream.push_back("finished");
        break;
      default:
        break;
    }
  }
  std::vector<std::string> expected = {"phase 0 of 20000", "16384", "20000", "phase 1 of 20000"};
  for (std::uint32_t done = 2048; done < 20000; done += 2048)
    expected.push_back(std::to_string(done));
  expected.push_back("20000");
  expected.push_back("phase 2 of 20000");
  for (std::uint32_t done = 2048; done < 20000; done += 2048)
    expected.push_back(std::to_string(done));
  expected.insert(expected.end(), {"20000", "succeeded", "finished"});
  EXPECT_EQ(stream, expected);
}

TEST(ProgrammingJob, SegmentShorterThanTheFileIsErasedWholeAndProgrammingGoesOn) {
  JobBench bench(DeviceWithOptionsInPlace());
  bench.WriteFirmware(20000);
  bench.UseMap("@Internal Flash  /0x08000000/01*016Kg");
  bench.Run();

  // The device's next sector was still erased, so the read-back proves the whole file.
  ExpectSucceeded(bench);
  EXPECT_EQ(bench.Erases(), 1);
  EXPECT_EQ(bench.host.LastProgress(RunPhase::Erasing), 16384u);
}

TEST(ProgrammingJob, RefusesFilesOutsideTheLimits) {
  const struct {
    std::int64_t size;        // -1: no file
    std::uint32_t flashSize;  // 0: the device's
    std::string error;        // empty: accepted
  } cases[] = {
      {1023, 0, kSizeError},
      {1024, 0, ""},
      {983040, 0, ""},
      {983041, 0, kSizeError},
      {1048576, 0, kSizeError},
      {-1, 0, kSizeError},
      {600000, 600000, "Die Firmware passt nicht in den Flash (Firmware = 585.9 kB) !"},
      {600000, 600001, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    JobBench bench;
    if (c.size >= 0) bench.WriteFirmware(static_cast<std::uint32_t>(c.size));
    if (c.flashSize != 0) bench.inputs.device.flashSize = c.flashSize;
    bench.Run();
    if (c.error.empty()) {
      ExpectSucceeded(bench);
    } else {
      ExpectFailed(bench, c.error);
      EXPECT_EQ(bench.Erases(), 0);
      EXPECT_EQ(bench.OptionWrites(), 0);
      EXPECT_EQ(bench.dfu.Opens(), 0);
    }
  }
}

// Every refusal comes before the device is touched: on a device whose option bytes need a rewrite
// (at read protection level 1 that rewrite erases the chip), they and the flash stay as they were.
TEST(ProgrammingJob, RefusesMemoryMapsItCannotProgramBeforeTouchingTheDevice) {
  const struct {
    const char* map;  // nullptr: no device data
    std::string error;
  } cases[] = {
      {nullptr, "Es sind keine Gerätedaten vorhanden !"},
      {"@Option Bytes  /0x1FFFC000/01*016 e", kNoFlash},
      // Only the first sector decides whether a segment is flash.
      {"@Internal Flash  /0x08000000/01*016Ka,03*016Kg", kNoFlash},
      // The gap behind sector 1 counts, though sector 2 is never needed.
      {"@Internal Flash  /0x08000000/02*016Kg/0x0800C000/02*016Kg",
       "Der Flash im Gerät ist nicht durchgehent (08008000h..0800C000h) !"},
      {"@Internal Flash  /0x08000000/01*016Kg,01*003Kg,01*016Kg", "Falsches Flash Alignment !"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    JobBench bench;
    const std::vector<std::uint8_t> options = bench.OptionBytes();
    bench.WriteFirmware(20000);
    if (c.map == nullptr) {
      bench.inputs.device.memoryMap = nullptr;
    } else {
      bench.UseMap(c.map);
    }
    bench.Run();
    ExpectFailed(bench, c.error);
    EXPECT_EQ(bench.Erases(), 0);
    EXPECT_EQ(bench.OptionWrites(), 0);
    EXPECT_EQ(bench.dfu.Opens(), 0);
    EXPECT_EQ(bench.OptionBytes(), options);
    EXPECT_EQ(bench.Flash(16), std::vector<std::uint8_t>(16, 0xFF));
  }
}

SimFault Fault(SimFaultAction action, SimRequest request, std::uint32_t nth) {
  SimFault fault;
  fault.action = action;
  fault.request = request;
  fault.nth = nth;
  fault.count = 100000;
  return fault;
}

SimFault CorruptReadBack(std::uint32_t address) {
  SimFault fault;
  fault.action = SimFaultAction::Corrupt;
  fault.address = address;
  return fault;
}

TEST(ProgrammingJob, ReportsEveryDeviceFaultWithItsMessageAndTheDeviceFree) {
  const SimFault failAllDownloadsFrom2 = Fault(SimFaultAction::Fail, SimRequest::Dnload, 2);
  const struct {
    const char* name;
    bool optionsInPlace;
    std::vector<SimFault> faults;
    int failSelectAlternate;
    bool failOpen;
    std::string error;
  } cases[] = {
      {"open", true, {}, -1, true, "Das Gerät konnte nicht geöffnet werden !"},
      {"read options",
       true,
       {Fault(SimFaultAction::Fail, SimRequest::Upload, 1)},
       -1,
       false,
       kOptionsError},
      {"write options", false, {failAllDownloadsFrom2}, -1, false, kOptionsError},
      {"select flash",
       true,
       {},
       0,
       false,
       "Die USB Konfiguration konnte nicht eingestellt werden !"},
      {"erase",
       true,
       {failAllDownloadsFrom2},
       -1,
       false,
       "Der Flash-Sektor bei 08000000h konnte nicht gelöscht werden !"},
      // Downloads 1 to 5: option address, two erases, write address, the first block.
      {"write",
       true,
       {Fault(SimFaultAction::Fail, SimRequest::Dnload, 6)},
       -1,
       false,
       "Der Flash-Sektor bei 08000800h konnte nicht geschrieben werden !"},
      {"verify",
       true,
       {CorruptReadBack(0x08001005)},
       -1,
       false,
       "Beim Prüfen wurde bei Adresse 08001000h ein Fehler entdeckt !"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimDeviceConfig config = c.optionsInPlace ? DeviceWithOptionsInPlace() : DefaultSimDevice("");
    config.faults = c.faults;
    JobBench bench(config);
    bench.WriteFirmware(20000);
    bench.dfu.failSelectAlternate = c.failSelectAlternate;
    bench.dfu.failOpen = c.failOpen;
    bench.Run();
    ExpectFailed(bench, c.error);
  }
}

// The option block is sent, but the device fails its work: it writes nothing, does not reset and
// stays on the bus, so the run finds it again after the wait. Only a second read shows the loss.
TEST(ProgrammingJob, AnOptionWriteThatDidNotLandFailsTheRunBeforeAnythingIsErased) {
  SimDeviceConfig config = DefaultSimDevice("");
  SimFault fault;
  fault.action = SimFaultAction::DfuError;
  fault.request = SimRequest::Dnload;
  fault.nth = 3;  // the option block, after the set-address commands of the read and the write
  config.faults = {fault};
  JobBench bench(config);
  bench.WriteFirmware(20000);
  bench.Run();

  ExpectFailed(bench, "Die Optionen konnten im Gerät nicht gespeichert werden !");
  EXPECT_EQ(bench.OptionWrites(), 1);
  EXPECT_EQ(bench.OptionBytes()[0], 0xEF);
  EXPECT_EQ(bench.Erases(), 0);
  EXPECT_EQ(bench.Flash(16), std::vector<std::uint8_t>(16, 0xFF));
}

// Discovery could not read the unique ID, so the run has no unique-ID text of its own: it reads
// the unique ID over its connection (behind the OTP area, or on its own), after the option-byte
// reset too, or programs nothing when the read fails.
TEST(ProgrammingJob, ARunWithoutUniqueIdTextReadsItOrProgramsNothing) {
  for (bool optionsInPlace : {true, false}) {
    SCOPED_TRACE(optionsInPlace ? "options in place" : "options rewritten");
    JobBench bench(optionsInPlace ? DeviceWithOptionsInPlace() : DefaultSimDevice(""));
    bench.WriteFirmware(20000);
    bench.inputs.hardwareId.clear();
    bench.Run();
    bench.ExpectCleanEnd();
    EXPECT_EQ(bench.host.Outcome(), RunOutcome::Succeeded);
    EXPECT_EQ(bench.host.LastProgress(RunPhase::Verifying), 20000u);
    const std::string log = bench.Log();
    EXPECT_NE(log.find(";\"3100-4700-0E-Q307486\";\"fw.bin\";"), std::string::npos) << log;
  }

  // A device that will not give its unique ID at all is programmed, logged without it, and the
  // operator is warned.
  {
    SimDeviceConfig withholding = DeviceWithOptionsInPlace();
    withholding.strictness.uniqueIdReadable = false;
    JobBench bench(withholding);
    bench.WriteFirmware(20000);
    bench.inputs.hardwareId.clear();
    bench.Run();
    bench.ExpectCleanEnd();
    EXPECT_EQ(bench.host.Outcome(), RunOutcome::Succeeded);
    EXPECT_TRUE(bench.host.Result().uniqueIdMissing);
    ASSERT_EQ(bench.host.Warnings().size(), 1u);
    EXPECT_NE(bench.host.Warnings()[0].find("Unique-ID"), std::string::npos);
    EXPECT_NE(bench.Log().find(";\"\";\"fw.bin\";"), std::string::npos) << bench.Log();
  }

  SimDeviceConfig config = DeviceWithOptionsInPlace();
  config.faults = {Fault(SimFaultAction::Fail, SimRequest::Upload, 2)};  // 1: the option bytes
  JobBench bench(config);
  bench.WriteFirmware(20000);
  bench.inputs.hardwareId.clear();
  bench.Run();
  ExpectFailed(bench, "Die Unique-ID des Gerätes konnte nicht gelesen werden !");
  EXPECT_EQ(bench.Erases(), 0);
}

TEST(ProgrammingJob, GivesUpWhenTheDeviceDoesNotComeBackAfterTheOptionWrite) {
  SimDeviceConfig config = DefaultSimDevice("");
  config.returnDelayMs = 3600000;
  JobBench bench(config);
  bench.WriteFirmware(20000);
  const std::uint32_t start = bench.clock.TickCount();
  bench.Run();

  ExpectFailed(bench,
               "Das Geräte hat sich nicht wieder angemeldet !\n\nBitte stecken sie das Geräte ab, "
               "und wieder an\nund versuchen sie es dan erneut.");
  EXPECT_EQ(bench.host.Count(Event::AwaitingDevice), 51);
  EXPECT_EQ(bench.Erases(), 0);
  // The removal came at once: 0.2 s, then 50 polls of 0.1 s and a last 50 ms.
  EXPECT_LT(bench.clock.TickCount() - start, 7000u);
}

// A stop during the wait for a device that does not come back ends the wait at once, as a stop
// and not as a device that never registered again.
TEST(ProgrammingJob, AStopEndsTheWaitForTheDeviceAtOnce) {
  SimDeviceConfig config = DefaultSimDevice("");
  config.returnDelayMs = 3600000;
  JobBench bench(config);
  bench.WriteFirmware(20000);
  bench.host.onEvent = [&](const Event& event) {
    if (event.kind == Event::Status && event.text == "... Warte auf die neue Geräteanmeldung ...") {
      bench.host.control.m_abortRequested = 1;
    }
  };
  bench.Run();

  bench.ExpectCleanEnd();
  EXPECT_EQ(bench.host.Outcome(), RunOutcome::Aborted);
  EXPECT_EQ(bench.host.Statuses().back(), kUserAbort);
  EXPECT_EQ(bench.host.Count(Event::AwaitingDevice), 1) << "one look, no 5 s of polls";
}

TEST(ProgrammingJob, GoesOnAfterTwoSecondsWhenTheRemovalIsNeverReported) {
  JobBench bench;
  bench.WriteFirmware(20000);
  bench.bench.SetListener({});
  // A window that does not enumerate during a run still holds the device of the start.
  bench.host.currentDevice = [&bench] { return bench.inputs.device; };
  const std::uint32_t start = bench.clock.TickCount();
  bench.Run();

  ExpectSucceeded(bench);
  EXPECT_GE(bench.clock.TickCount() - start, 2000u + 200u + 100u + 50u);
  EXPECT_EQ(bench.host.control.m_deviceRemoved, 0);
}

TEST(ProgrammingJob, StopsOnAnAbortInEveryPhaseWithoutABox) {
  // Each case sets the abort flag when the run reports this status, or this much progress in
  // this phase.
  const struct {
    const char* name;
    bool optionsInPlace;
    std::string status;
    RunPhase phase;
    std::uint32_t progress;
    int erases;
  } cases[] = {
      {"before the start", true, "", RunPhase::Erasing, 0, 0},
      {"waiting for the device", false, "... Warte auf die neue Geräteanmeldung ...",
       RunPhase::Erasing, 0, 0},
      {"loading", true, "... Firmware laden ...", RunPhase::Erasing, 0, 0},
      {"erasing", true, "... Lösche Sektor 0   (08000000h) ...", RunPhase::Erasing, 0, 1},
      {"programming", true, "", RunPhase::Programming, 2048, 2},
      {"verifying", true, "", RunPhase::Verifying, 2048, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JobBench bench(c.optionsInPlace ? DeviceWithOptionsInPlace() : DefaultSimDevice(""));
    bench.WriteFirmware(20000);
    RunControl& control = bench.host.control;
    if (c.status.empty() && c.progress == 0) control.m_abortRequested = 1;
    bench.host.onEvent = [&](const Event& event) {
      if ((event.kind == Event::Status && event.text == c.status) ||
          (c.progress != 0 && event.kind == Event::Progress && event.phase == c.phase &&
           event.bytes >= c.progress)) {
        control.m_abortRequested = 1;
      }
    };
    bench.Run();

    bench.ExpectCleanEnd();
    EXPECT_TRUE(bench.host.Errors().empty());
    EXPECT_EQ(bench.host.Statuses().back(), kUserAbort);
    EXPECT_EQ(bench.host.Outcome(), RunOutcome::Aborted);
    EXPECT_EQ(bench.Erases(), c.erases);
    EXPECT_EQ(bench.Log(), "");
    // The transfer stopped at the next block.
    if (c.progress != 0) {
      EXPECT_EQ(bench.host.LastProgress(c.phase), c.progress);
    }
  }
}

}  // namespace
}  // namespace kestrune

namespace kestrune {
namespace {

// A device that leaves the bus in the middle of a status poll ends the run at once, said so.
TEST(ProgrammingJobLostDevice, AVanishedDeviceEndsTheRunWithinASecond) {
  SimDeviceConfig config = DeviceWithOptionsInPlace();
  config.timing = DatasheetTiming();
  config.faults = {Fault(SimFaultAction::Disconnect, SimRequest::GetStatus, 12)};
  config.faults.back().stayAway = true;
  JobBench bench(config);
  bench.WriteFirmware(20000);
  std::uint32_t goneAt = 0;
  bench.bench.SetListener([&](DeviceEvent event, const std::string&) {
    if (event == DeviceEvent::Removal && goneAt == 0) goneAt = bench.clock.TickCount();
  });
  bench.Run();
  bench.ExpectCleanEnd();
  EXPECT_EQ(bench.host.Outcome(), RunOutcome::Failed);
  EXPECT_EQ(bench.host.Result().failureReason, RunFailureReason::DeviceGone);
  ASSERT_NE(goneAt, 0u);
  EXPECT_LT(bench.clock.TickCount() - goneAt, 1000u);
}

// After the option reset a desktop service may hold the new device for a moment.
TEST(ProgrammingJobLostDevice, TheReopenAfterTheOptionResetWaitsForABusyDevice) {
  SimDeviceConfig config = DefaultSimDevice("");
  // Opens: discovery's, the run's first, then three refused after the reset, then one that works.
  SimFault busy = Fault(SimFaultAction::Busy, SimRequest::Open, 3);
  busy.count = 3;
  config.faults = {busy};
  JobBench bench(config);
  bench.WriteFirmware(20000);
  bench.Run();
  bench.ExpectCleanEnd();
  EXPECT_EQ(bench.host.Outcome(), RunOutcome::Succeeded)
      << (bench.host.Errors().empty() ? "" : bench.host.Errors()[0]);
}

// Read protection level 1: without --unprotect the run fails and says why; with it the chip is
// erased, comes back unprotected, and is programmed.
TEST(ProgrammingJobReadProtection, FailsWithItsReasonOrUnprotectsWhenAsked) {
  for (const bool unprotect : {false, true}) {
    SCOPED_TRACE(unprotect);
    SimDeviceConfig config = DefaultSimDevice("");
    config.optionBytes = WithOptionComplements({0xE3, 0x55, 0, 0, 0, 0, 0, 0, 0xFF, 0x3F});
    JobBench bench(config);
    bench.WriteFirmware(20000);
    bench.inputs.unprotect = unprotect;
    bench.Run();
    bench.ExpectCleanEnd();
    if (unprotect) {
      EXPECT_EQ(bench.host.Outcome(), RunOutcome::Succeeded);
      EXPECT_EQ(bench.Flash(20000), bench.firmware);
      EXPECT_EQ(bench.OptionBytes()[1], 0xAA);
    } else {
      EXPECT_EQ(bench.host.Outcome(), RunOutcome::Failed);
      EXPECT_EQ(bench.host.Result().failureReason, RunFailureReason::ReadProtected);
      EXPECT_EQ(
          bench.host.Errors(),
          std::vector<std::string>{"Vom Gerät konnten die Optionen nicht abgefragt werden !"});
    }
  }
}

TEST(ProgrammingJobLeave, AVerifiedRunStartsTheFirmwareWhenAsked) {
  JobBench bench(DeviceWithOptionsInPlace());
  bench.WriteFirmware(20000);
  bench.inputs.leave = true;
  bench.Run();
  bench.ExpectCleanEnd();
  EXPECT_EQ(bench.host.Outcome(), RunOutcome::Succeeded);
  EXPECT_TRUE(bench.host.Warnings().empty());
  EXPECT_EQ(bench.bench.DfuStateOf(0), dfuMANIFEST);
}

}  // namespace
}  // namespace kestrune
