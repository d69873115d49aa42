#pragma once
// A dialog on the recording window, with a device bus whose devices cannot be opened (they are
// counted, nothing else) and a run routine the test chooses.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/programmer_dialog.h"
#include "app/run_commands.h"
#include "platform/clock.h"
#include "testkit/failing_stdfu.h"
#include "testkit/recording_window.h"

namespace kestrune {

// Devices of the first interface class that answer no DFU request.
class ListedBus final : public DeviceBus {
 public:
  std::vector<std::string> paths;
  int queries = 0;
  Listener listener;

  std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) override {
    ++queries;
    if (interfaceClass.data1 != kDfuInterfaceClass.data1) return std::vector<std::string>{};
    return paths;
  }
  void SetListener(Listener l) override { listener = std::move(l); }
  // Discovery asks once per interface class.
  int Enumerations() const { return queries / 2; }
};

// Opens and closes devices when `opens` is set; answers nothing else.
class SilentStdfu final : public testkit::FailingStdfu {
 public:
  bool opens = false;

  std::uint32_t STDFU_Open(const char*, DfuHandle* handle) override {
    if (!opens) return STDFU_ERROR;
    *handle = this;
    return STDFU_NOERROR;
  }
  std::uint32_t STDFU_Close(DfuHandle* handle) override {
    *handle = nullptr;
    return STDFU_NOERROR;
  }
};

// The front end's services: a history store in memory, and a log of what start-up asked for.
class RecordingFrontEnd final : public PathHistoryStore,
                                public BrowseButtonDecoration,
                                public FileDropAttachment {
 public:
  std::optional<PathHistory> stored;
  bool saveFails = false;
  std::vector<std::string> log;

  std::optional<PathHistory> Load() override {
    log.push_back("load");
    return stored;
  }
  bool Save(const PathHistory& history) override {
    log.push_back("save");
    if (saveFails) return false;
    stored = history;
    return true;
  }
  void Decorate(int id) override { log.push_back("decorate " + std::to_string(id)); }
  void Attach(int id) override { log.push_back("attach " + std::to_string(id)); }
};

class DialogTest : public ::testing::Test {
 protected:
  void Start() {
    dialog = std::make_unique<ProgrammerDialog>(
        window, DialogServices{stdfu, bus, clock, "Infos",
                               [this](RunEvents& events, const RunControl&, const JobInputs& in) {
                                 ++runs;
                                 inputs = in;
                                 if (job) job(events);
                                 events.Finished(finished);
                               },
                               nullptr, frontEnd, frontEnd, frontEnd});
    ASSERT_TRUE(dialog->OnInitDialog());
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) dialog->OnTimer(ID_POLL_TIMER);
  }
  bool PumpUntilFinished() { return window.Pump(*dialog, ID_RUN_FINISHED); }

  testkit::RecordingWindow window;
  RecordingFrontEnd frontEnd;
  ListedBus bus;
  SilentStdfu stdfu;
  VirtualClock clock;
  // What the run does before its Finished event, and what that event says; on the worker thread.
  std::function<void(RunEvents&)> job;
  RunResult finished;
  std::atomic<int> runs{0};
  JobInputs inputs;
  std::unique_ptr<ProgrammerDialog> dialog;
};

}  // namespace kestrune
