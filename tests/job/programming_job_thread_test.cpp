// The run on a thread of its own, with the test's thread acting as the window: the hand-over of
// flags, counters and error boxes must hold across threads (built under ThreadSanitizer too).

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "job_bench.h"

namespace kestrune {
namespace {

// One thread waits until another raised it; raising it before the wait, or twice, is harmless.
class Signal {
 public:
  void Raise() {
    {
      std::lock_guard lock(m_mutex);
      m_raised = true;
    }
    m_changed.notify_all();
  }
  void Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_raised; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_raised = false;
};

TEST(ProgrammingJobThread, AbortFromTheWindowStopsTheTransferAtTheNextBlock) {
  JobBench bench(DeviceWithOptionsInPlace());
  bench.WriteFirmware(100000);
  RunControl& control = bench.host.control;
  Signal programming;
  Signal abortSent;
  bench.host.onEvent = [&](const testkit::RecordedRunEvent& event) {
    if (event.kind == testkit::RecordedRunEvent::Progress && event.phase == RunPhase::Programming &&
        event.bytes == 2048) {
      programming.Raise();
      abortSent.Wait();
    }
  };
  std::thread worker([&] {
    bench.Run();
    programming.Raise();  // a run that never got there must not hang the test
  });
  programming.Wait();
  control.m_abortRequested = 1;
  abortSent.Raise();
  worker.join();

  bench.ExpectCleanEnd();
  EXPECT_EQ(bench.host.Statuses().back(), "... User-Abbruch ...");
  EXPECT_EQ(bench.host.Outcome(), RunOutcome::Aborted);
  EXPECT_EQ(bench.host.LastProgress(RunPhase::Programming), 2048u);
  EXPECT_EQ(bench.Log(), "");
}

TEST(ProgrammingJobThread, ErrorBoxHoldsTheRunWithTheDeviceFreeUntilAcknowledged) {
  SimDeviceConfig config = DeviceWithOptionsInPlace();
  SimFault corrupt;
  corrupt.action = SimFaultAction::Corrupt;
  corrupt.address = 0x08000010;
  config.faults.push_back(corrupt);
  JobBench bench(config);
  bench.WriteFirmware(20000);
  Signal boxShown;
  Signal errorAck;
  bench.host.onError = [&] {
    boxShown.Raise();
    errorAck.Wait();
  };
  std::thread worker([&bench] { bench.Run(); });
  boxShown.Wait();
  EXPECT_EQ(bench.dfu.OpenConnections(), 0);
  EXPECT_EQ(bench.host.Count(testkit::RecordedRunEvent::Failed), 1);
  EXPECT_EQ(bench.host.Count(testkit::RecordedRunEvent::Finished), 0);
  errorAck.Raise();
  worker.join();

  bench.ExpectCleanEnd();
  EXPECT_EQ(
      bench.host.Errors(),
      std::vector<std::string>{"Beim Prüfen wurde bei Adresse 08000000h ein Fehler entdeckt !"});
  EXPECT_EQ(bench.Log(), "");
}

}  // namespace
}  // namespace kestrune
