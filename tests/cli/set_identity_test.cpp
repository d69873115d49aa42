#include "cli/set_identity_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "device/device_identity.h"
#include "sim/sim_bench.h"
#include "testkit/captured_stream.h"
#include "testkit/cli_outcome.h"
#include "testkit/temp_folder.h"

namespace kestrune::cli {
namespace {

using testing::HasSubstr;
using testing::Not;

using Outcome = testkit::CliOutcome;

class SetIdentityTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(m_folder.File("Infos"));
    testkit::WriteFileText(m_folder.File("Infos/MacList.cfg"),
                           "# Bench 1\r\nRANGE 02-4B-53-00-00-00 1000 100000\r\n");
    testkit::WriteFileText(m_folder.File("Infos/NextSerial.cfg"), "100000\r\n");
  }
  // One default device on a bench of our own, so that the test can arm faults and look inside.
  Outcome Run(const SetIdentityRequest& request, bool terminal = false) {
    auto bench = std::make_unique<SimBench>(m_clock);
    m_bench = bench.get();
    EXPECT_TRUE(m_bench->AddDevice(m_device).device);
    if (m_arrange) m_arrange(*m_bench);
    DeviceBackend backend(m_clock, std::move(bench));
    testkit::CapturedStream out;
    testkit::CapturedStream err;
    testkit::CapturedStream answers;
    std::fputs("j\n", answers.File());
    std::rewind(answers.File());
    ConsoleOptions console;
    console.out = out.File();
    console.err = err.File();
    console.answers = terminal ? answers.File() : nullptr;
    const int status = SetIdentity(backend, m_folder.File("Infos"), request, console);
    m_otpBlock1 = m_bench->Peek(0, kOtpAlternate, kOtpAddress + kOtpBlockSize, kOtpBlockSize);
    return {status, out.Text(), err.Text()};
  }
  bool Block1Written() const { return m_otpBlock1 != std::vector<std::uint8_t>(32, 0xFF); }

  testkit::TempFolder m_folder;
  VirtualClock m_clock;
  SimDeviceConfig m_device = DefaultSimDevice("");
  std::function<void(SimBench&)> m_arrange;
  SimBench* m_bench = nullptr;
  std::vector<std::uint8_t> m_otpBlock1;
};

TEST_F(SetIdentityTest, ShowsTheProposalWritesBlockOneAndShowsTheNewIdentity) {
  const Outcome run = Run({std::nullopt, true});
  EXPECT_EQ(run.status, kExitOk) << run.err;
  EXPECT_THAT(run.out, HasSubstr(testkit::Utf8(u8"Seriennummer einstellen\n"
                                               u8"  Seriennummer : 100000  (im Bereich aus "
                                               u8"./Infos/MacList.cfg)\n")));
  EXPECT_THAT(run.out, HasSubstr("  MAC A : 02-4B-53-00-00-00\n  MAC B : 02-4B-53-00-00-01\n"));
  EXPECT_THAT(run.out, HasSubstr("Antwort: Ja (--yes)\n"));
  EXPECT_THAT(run.out, HasSubstr(testkit::Utf8(u8"Block 1 geschrieben und geprüft.\n")));
  // The discovery after the write shows the identity.
  EXPECT_THAT(run.out, HasSubstr("Seriennummer : 100000\n"));
  EXPECT_THAT(run.out, HasSubstr("MAC B : 02-4B-53-00-00-01\n"));
  EXPECT_THAT(run.out, HasSubstr(testkit::Utf8(u8"Identität : 2")));
  EXPECT_TRUE(Block1Written());
  EXPECT_TRUE(run.err.empty()) << run.err;
}

TEST_F(SetIdentityTest, QuestionsAreAskedOnTheTerminalOrRefusedWithoutOne) {
  // A number outside every range: the question comes first, then the dialog's confirmation.
  const Outcome asked = Run({std::int32_t{5}, false}, true);
  EXPECT_THAT(asked.err,
              HasSubstr(testkit::Utf8(u8"Warnung: Die aktuelle Seriennummer ist außerhalb des "
                                      u8"Bereiches aus ./Infos/MacList.cfg !")));
  // One "j" answered the first question; the confirmation found no more input.
  EXPECT_EQ(asked.status, kExitRefused);
  EXPECT_FALSE(Block1Written());

  const Outcome refused = Run({std::nullopt, false});
  EXPECT_EQ(refused.status, kExitRefused);
  EXPECT_THAT(refused.err, HasSubstr("Antwort: Abbrechen (keine Eingabe"));
  EXPECT_FALSE(Block1Written());

  const Outcome confirmed = Run({std::nullopt, false}, true);
  EXPECT_EQ(confirmed.status, kExitOk) << confirmed.err;
  EXPECT_TRUE(Block1Written());
}

TEST_F(SetIdentityTest, YesGivesNoSerialNumberOutsideTheRangesUnlessAllowed) {
  // --yes must not say OK to "... außerhalb des Bereiches ...", nor to a proposal NextSerial.cfg
  // did not vouch for: on a line either is most likely a serial number already given away.
  const std::string kRefusal = testkit::Utf8(
      u8"Fehler: Eine Seriennummer außerhalb der Bereiche aus "
      u8"./Infos/MacList.cfg wird nur mit --outside-ranges vergeben !");
  const std::string kNeedsSerial = "choose one with --serial";
  struct Case {
    const char* list;  // null: the fixture's range 100000 .. 100999 from 02-4B-53-00-00-00
    const char* next;  // null: no NextSerial.cfg
    std::optional<std::int32_t> serial;
    bool outsideRanges;
    std::string message;   // on stderr
    std::int32_t written;  // -1: nothing
  };
  const Case cases[] = {
      {nullptr, "5\n", std::nullopt, false, kNeedsSerial, -1},
      {nullptr, "5\n", std::nullopt, true, kNeedsSerial, -1},
      {nullptr, "100000\n", 5, false, kRefusal, -1},
      {nullptr, "100000\n", 5, true, "Antwort: OK (--outside-ranges)", 5},
      // Only the low 24 bits are stored: 16877216 is in its range, but 100000 is not.
      {"RANGE 02-4B-53-00-00-00 1000 16877216\n", "16877216\n", std::nullopt, false, kRefusal, -1},
      {nullptr, "", std::nullopt, false, kNeedsSerial, -1},
      {nullptr, "junk\n", std::nullopt, false, kNeedsSerial, -1},
      {nullptr, "-100\n", std::nullopt, false, kNeedsSerial, -1},
      {nullptr, nullptr, std::nullopt, false, kNeedsSerial, -1},
      {nullptr, "junk\n", 100003, false, "Antwort: Ja (--yes)", 100003},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.next ? c.next : "(none)") +
                 (c.outsideRanges ? " --outside-ranges" : ""));
    if (c.list) testkit::WriteFileText(m_folder.File("Infos/MacList.cfg"), c.list);
    if (c.next) {
      testkit::WriteFileText(m_folder.File("Infos/NextSerial.cfg"), c.next);
    } else {
      std::filesystem::remove(m_folder.File("Infos/NextSerial.cfg"));
    }
    const Outcome run = Run({c.serial, true, c.outsideRanges});
    EXPECT_THAT(run.err + run.out, HasSubstr(c.message));
    if (c.written < 0) {
      EXPECT_EQ(run.status, kExitRefused);
      EXPECT_FALSE(Block1Written());
    } else {
      EXPECT_EQ(run.status, kExitOk) << run.err;
      ASSERT_TRUE(Block1Written());
      EXPECT_EQ(m_otpBlock1[12] | m_otpBlock1[13] << 8 | m_otpBlock1[14] << 16, c.written);
    }
    SetUp();
  }
}

TEST_F(SetIdentityTest, RefusesWithoutAUsableRangeList) {
  struct Case {
    const char* list;  // null: no file
    const char8_t* reason;
  };
  const Case cases[] = {
      {nullptr,
       u8"MacList.cfg fehlt oder kann nicht gelesen werden: \"MAC setzen\" ist nicht "
       u8"möglich !"},
      {"RANGE 02-4B-53-00-00-00 0 1\n",
       u8"MacList.cfg ist nicht verwendbar: \"MAC setzen\" ist nicht möglich !"},
      {"# nothing but a comment\n",
       u8"Warnung: In ./Infos/MacList.cfg ist kein gültiger Bereich eingetragen !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testkit::Utf8(c.reason));
    std::filesystem::remove(m_folder.File("Infos/MacList.cfg"));
    if (c.list) testkit::WriteFileText(m_folder.File("Infos/MacList.cfg"), c.list);
    const Outcome run = Run({std::int32_t{100000}, true});
    EXPECT_EQ(run.status, kExitRefused);
    EXPECT_THAT(run.err, HasSubstr(testkit::Utf8(c.reason)));
    EXPECT_FALSE(Block1Written());
  }
}

TEST_F(SetIdentityTest, DeviceFaultsGiveTheirErrorTexts) {
  m_device.lockedOtpBlocks = {1};
  const Outcome locked = Run({std::nullopt, true});
  EXPECT_EQ(locked.status, kExitFailed);
  EXPECT_THAT(locked.err,
              HasSubstr(testkit::Utf8(u8"Fehler: Die Daten wurden nicht gültig programmiert !")));
  EXPECT_THAT(locked.out, Not(HasSubstr("geschrieben")));

  m_device = DefaultSimDevice("");
  m_arrange = [](SimBench& bench) {
    SimFault fault;
    fault.action = SimFaultAction::Fail;
    fault.request = SimRequest::Dnload;
    fault.nth = 4;  // discovery sets the address thrice (area, ID twice); then all fail
    fault.count = 1000;
    bench.AddFault(0, fault);
  };
  const Outcome failing = Run({std::nullopt, true});
  EXPECT_EQ(failing.status, kExitFailed);
  EXPECT_THAT(failing.err, HasSubstr("Fehler: Fehler beim Programmieren !"));
  EXPECT_FALSE(Block1Written());
}

TEST(SetIdentityCommand, ParsesItsArguments) {
  testkit::CapturedStream sink;
  for (const auto& args : std::vector<std::vector<std::string>>{{"--serial"},
                                                                {"--serial", "abc"},
                                                                {"--serial", "16777216"},
                                                                {"--serial", "-1"},
                                                                {"--serial", "12x"},
                                                                {"--bogus"}}) {
    std::vector<std::string> argv = {"--simulate", "set-identity"};
    argv.insert(argv.end(), args.begin(), args.end());
    EXPECT_EQ(Main(argv, sink.File(), sink.File()), kExitUsage) << args.back();
  }
}

// With a ledger the proposal moves on past every serial number given, a number another device
// holds is refused before anything is written, a failed write stays held, and a ledger out of
// reach assigns nothing.
TEST_F(SetIdentityTest, WithALedgerNoSerialNumberIsGivenTwice) {
  testkit::WriteFileText(m_folder.File("Infos/Ledger.cfg"),
                         "LEDGER ledger.csv\nSTATION \"Platz 1\"\n");
  const Outcome first = Run({std::nullopt, true});
  ASSERT_EQ(first.status, kExitOk) << first.err;
  EXPECT_THAT(first.out, HasSubstr("Seriennummer : 100000  (im Bereich"));

  m_device.uniqueId[0] ^= 0x55;  // another device
  const Outcome second = Run({std::nullopt, true});
  ASSERT_EQ(second.status, kExitOk) << second.err;
  EXPECT_THAT(second.out, HasSubstr("Seriennummer : 100001  (im Bereich"));

  m_device.uniqueId[1] ^= 0x55;  // a third one, to which the operator gives the first's number
  const Outcome taken = Run({std::int32_t{100000}, true});
  EXPECT_EQ(taken.status, kExitRefused);
  EXPECT_THAT(taken.err,
              HasSubstr(testkit::Utf8(u8"Die Seriennummer 100000 ist bereits für das Gerät ")));
  EXPECT_FALSE(Block1Written());

  // The write fails: its number is held as failed and never proposed again.
  m_arrange = [](SimBench& bench) {
    SimFault fault;
    fault.action = SimFaultAction::Fail;
    fault.request = SimRequest::Dnload;
    fault.nth = 4;  // discovery sets the address thrice (area, ID twice); then all fail
    fault.count = 1000;
    bench.AddFault(0, fault);
  };
  EXPECT_EQ(Run({std::nullopt, true}).status, kExitFailed);
  m_arrange = nullptr;
  m_device.uniqueId[2] ^= 0x55;
  const Outcome after = Run({std::nullopt, true});
  ASSERT_EQ(after.status, kExitOk) << after.err;
  EXPECT_THAT(after.out, HasSubstr("Seriennummer : 100003  (im Bereich"));

  testkit::WriteFileText(m_folder.File("Infos/Ledger.cfg"), "LEDGER nowhere/ledger.csv\n");
  const Outcome unreachable = Run({std::nullopt, true});
  EXPECT_EQ(unreachable.status, kExitRefused);
  EXPECT_THAT(unreachable.err, HasSubstr("ist nicht erreichbar !"));
  EXPECT_THAT(unreachable.err, HasSubstr("Es wird keine Seriennummer vergeben."));
  EXPECT_FALSE(Block1Written());

  testkit::CapturedStream out;
  testkit::CapturedStream err;
  ASSERT_EQ(Main({"ledger", "--infos", m_folder.File("Infos"), "--ledger",
                  m_folder.File("Infos/ledger.csv"), "--check"},
                 out.File(), err.File()),
            kExitOk)
      << err.Text();
  EXPECT_THAT(out.Text(), HasSubstr("3 written, 1 failed, 0 reserved but never confirmed"));
}

TEST_F(SetIdentityTest, ALedgerCfgInDoubtAssignsNothing) {
  testkit::WriteFileText(m_folder.File("Infos/Ledger.cfg"), "LEDGER a.csv\nLEDGER b.csv\n");
  const Outcome doubtful = Run({std::nullopt, true});
  EXPECT_EQ(doubtful.status, kExitRefused);
  EXPECT_THAT(doubtful.err, HasSubstr("nennt kein eindeutiges Ledger"));
  EXPECT_FALSE(Block1Written());
}

// Through the whole command line: the simulator file keeps the device between two commands.
TEST(SetIdentityCommand, SuccessiveCommandsFillTheBlocksUpward) {
  testkit::TempFolder folder;
  std::filesystem::create_directory(folder.File("Infos"));
  testkit::WriteFileText(folder.File("bench.json"), "{\"devices\": [{\"folder\": \"dev\"}]}");
  testkit::WriteFileText(folder.File("Infos/MacList.cfg"), "RANGE 02-4B-53-00-00-00 1000 100000\n");
  const auto run = [&folder](std::vector<std::string> args) {
    std::vector<std::string> argv = {"--simulate=" + folder.File("bench.json"), "--infos",
                                     folder.File("Infos"), "set-identity", "--yes"};
    argv.insert(argv.end(), args.begin(), args.end());
    testkit::CapturedStream out;
    testkit::CapturedStream err;
    const int status = Main(argv, out.File(), err.File());
    return Outcome{status, out.Text(), err.Text()};
  };
  // Without NextSerial.cfg --yes needs the number said; the device is named before the question.
  EXPECT_EQ(run({}).status, kExitRefused);
  const Outcome first = run({"--serial", "100000"});
  EXPECT_EQ(first.status, kExitOk) << first.err;
  EXPECT_THAT(first.out, HasSubstr("Device: unique ID 3100-4700-0E-Q307486, USB serial "));
  EXPECT_THAT(first.out, HasSubstr(testkit::Utf8(u8"Block 1 geschrieben und geprüft.")));

  const Outcome second = run({"--serial", "100007"});
  EXPECT_EQ(second.status, kExitOk) << second.err;
  EXPECT_THAT(second.err,
              HasSubstr(testkit::Utf8(u8"Warnung: Das Gerät hat bereits eine Seriennummer !")));
  EXPECT_THAT(second.out, HasSubstr(testkit::Utf8(u8"Block 2 geschrieben und geprüft.")));
  EXPECT_THAT(second.out, HasSubstr("Seriennummer : 100007\nVergabe am"));
  EXPECT_THAT(second.out, HasSubstr("MAC A : 02-4B-53-00-00-0E\n"));

  const Outcome again = run({"--serial", "100007"});
  EXPECT_EQ(again.status, kExitRefused);
  EXPECT_THAT(again.out,
              HasSubstr(testkit::Utf8(u8"Information: Diese Seriennummer ist bereits im Gerät !")));
}

}  // namespace
}  // namespace kestrune::cli
