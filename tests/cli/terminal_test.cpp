// The built program on a pseudo-terminal, as an operator sees it: the progress bar at the
// terminal's width, questions on the terminal while stdout goes to a file, and Ctrl-C typed at a
// question and during the wait for the device after its option-byte reset. And its stdout on a
// pipe nobody reads any more.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "testkit/captured_stream.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune::cli {
namespace {

using testing::HasSubstr;
using testing::Not;

// The program started on a terminal of `columns`, its output read as the terminal receives it.
class TerminalSession {
 public:
  // `stdoutFile` empty: stdout is the terminal too.
  TerminalSession(const std::vector<std::string>& args, int columns,
                  const std::string& stdoutFile = "") {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    m_child = forkpty(&m_terminal, nullptr, nullptr, &size);
    if (m_child == 0) {
      if (!stdoutFile.empty()) {
        const int file = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(file, STDOUT_FILENO);
      }
      std::vector<char*> argv{const_cast<char*>(KESTRUNE_PROGRAM)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      unsetenv("KESTRUNE_SIMULATE");
      execv(KESTRUNE_PROGRAM, argv.data());
      _exit(127);
    }
  }
  ~TerminalSession() {
    if (m_child > 0 && m_status < 0) {
      kill(m_child, SIGKILL);
      waitpid(m_child, nullptr, 0);
    }
    if (m_terminal >= 0) close(m_terminal);
  }

  bool Started() const { return m_child > 0; }
  void Type(const std::string& keys) {
    ASSERT_EQ(write(m_terminal, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Reads until the output holds `text` (true) or the program ended without it.
  bool WaitFor(const std::string& text) {
    std::size_t at = std::string::npos;
    const bool found = ReadUntil([&] {
      at = m_output.find(text, m_seen);
      return at != std::string::npos;
    });
    if (found) m_seen = at + text.size();
    return found;
  }
  // Reads to the end; the exit status.
  int Finish() {
    ReadUntil([] { return false; });
    return m_status;
  }
  const std::string& Output() const { return m_output; }

 private:
  // A guard against a program that hangs, not a measure of its speed.
  static constexpr auto kPatience = std::chrono::seconds(60);

  bool ReadUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
      if (m_status >= 0 || std::chrono::steady_clock::now() > end) return false;
      pollfd readable{m_terminal, POLLIN, 0};
      if (poll(&readable, 1, 100) > 0) {
        char buffer[4096];
        const ssize_t got = read(m_terminal, buffer, sizeof buffer);
        if (got > 0) {
          m_output.append(buffer, static_cast<std::size_t>(got));
          continue;
        }
      }
      int status = 0;
      if (waitpid(m_child, &status, WNOHANG) == m_child) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
    }
    return true;
  }

  int m_terminal = -1;
  pid_t m_child = -1;
  int m_status = -1;
  std::string m_output;
  std::size_t m_seen = 0;
};

// Characters (not bytes) of UTF-8 text.
std::size_t Columns(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

class TerminalTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_folder.File("Infos"));
    testkit::WriteFileText(m_folder.File("Infos/MacList.cfg"), "RANGE 02-4B-53-00-00-00 10 500\n");
    testkit::WriteFileText(m_folder.File("Infos/NextSerial.cfg"), "500\n");
    testkit::WriteFileBytes(m_folder.File("fw.bin"), testkit::BuildFirmwareImage());
  }
  // One device whose memories stay in `memory` beside the bench file.
  std::vector<std::string> Args(const std::string& device, std::vector<std::string> command) {
    testkit::WriteFileText(m_folder.File("bench.json"),
                           "{\"devices\": [{\"folder\": \"memory\"" + device + "}]}");
    command.insert(command.begin(), {"--simulate=" + m_folder.File("bench.json"), "--infos",
                                     m_folder.File("Infos")});
    return command;
  }
  std::vector<std::uint8_t> Otp() {
    return testkit::ReadFileBytes(m_folder.File("memory/otp.bin"));
  }

  testkit::TempFolder m_folder;
};

TEST_F(TerminalTest, TheBarFitsTheTerminalsWidth) {
  for (const int columns : {40, 80}) {
    SCOPED_TRACE(columns);
    std::filesystem::remove_all(m_folder.File("memory"));
    TerminalSession session(Args("", {"program", m_folder.File("fw.bin")}), columns);
    ASSERT_TRUE(session.Started());
    ASSERT_EQ(session.Finish(), 0) << session.Output();
    const std::string& output = session.Output();
    // 40 columns give up the rate and the time left; 80 show them.
    EXPECT_THAT(output, HasSubstr(columns == 40 ? "] 100 %  48.0/48.0 kB  00:"
                                                : "] 100 %  48.0/48.0 kB  "));
    EXPECT_EQ(output.find(" kB/s  00:") != std::string::npos, columns == 80);
    EXPECT_EQ(output.find(" left") != std::string::npos, columns == 80);
    // Each redraw of the bar stays on its line: no piece between two returns reaches the last
    // column, where the terminal would wrap it.
    std::size_t bars = 0;
    std::size_t start = 0;
    for (std::size_t end = output.find_first_of("\r\n"); end != std::string::npos;
         start = end + 1, end = output.find_first_of("\r\n", start)) {
      const std::string piece = output.substr(start, end - start);
      if (piece.find(" %") == std::string::npos) continue;
      ++bars;
      EXPECT_LT(Columns(piece), static_cast<std::size_t>(columns)) << piece;
    }
    EXPECT_GT(bars, 3u);
  }
}

TEST_F(TerminalTest, CtrlCDuringTheWaitForTheDeviceStopsTheRun) {
  // The device takes its time to come back after the option-byte reset.
  TerminalSession session(Args(", \"returnDelayMs\": 30000", {"program", m_folder.File("fw.bin")}),
                          80);
  ASSERT_TRUE(session.WaitFor("Warte auf die neue Ger")) << session.Output();
  session.Type("\x03");
  EXPECT_EQ(session.Finish(), 3) << session.Output();
  EXPECT_THAT(session.Output(), HasSubstr("... User-Abbruch ..."));
  EXPECT_THAT(session.Output(), Not(HasSubstr("nicht wieder angemeldet")));
  EXPECT_FALSE(std::filesystem::exists(m_folder.File("Infos/DownloadList.csv")));
}

// The question comes on the terminal though stdout goes to a file; an unclear answer is asked
// again, the end of input refuses, Ctrl-C stops: neither writes the OTP.
TEST_F(TerminalTest, QuestionsAreAskedOnTheTerminalAndCtrlCStopsThem) {
  const std::string stdoutFile = m_folder.File("out.txt");
  {
    TerminalSession session(Args("", {"set-identity", "--serial", "501"}), 80, stdoutFile);
    ASSERT_TRUE(session.WaitFor("Diese Seriennummer vergeben ?")) << session.Output();
    ASSERT_TRUE(session.WaitFor("[j = OK / n = Abbrechen] ")) << session.Output();
    session.Type("vielleicht\n");
    ASSERT_TRUE(session.WaitFor("[j = OK / n = Abbrechen] ")) << session.Output();
    session.Type("\x04");  // end of input
    EXPECT_EQ(session.Finish(), 5) << session.Output();
    EXPECT_THAT(session.Output(), HasSubstr("Abbrechen] \r\n")) << "the prompt's line ended";
    const auto written = testkit::ReadFileBytes(stdoutFile);
    EXPECT_THAT(std::string(written.begin(), written.end()), Not(HasSubstr("vergeben ?")));
  }
  const std::vector<std::uint8_t> untouched = Otp();
  {
    TerminalSession session(Args("", {"set-identity", "--serial", "501"}), 80, stdoutFile);
    ASSERT_TRUE(session.WaitFor("[j = OK / n = Abbrechen] ")) << session.Output();
    session.Type("\x03");
    EXPECT_EQ(session.Finish(), 3) << session.Output();
    EXPECT_THAT(session.Output(), HasSubstr("... User-Abbruch ..."));
  }
  EXPECT_EQ(Otp(), untouched);
}

// A reader that went away (`kestrune list | head -0`) is a failed write, not a killed process that
// might have been in the middle of a run.
TEST(ClosedPipeTest, AWriteToAClosedPipeEndsWithStatusOne) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  close(pipeEnds[0]);
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDERR_FILENO);
    execl(KESTRUNE_PROGRAM, KESTRUNE_PROGRAM, "--help", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeEnds[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
}  // namespace kestrune::cli
