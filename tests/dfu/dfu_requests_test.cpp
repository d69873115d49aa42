#include "dfu/dfu_requests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "dfu/fake_stdfu.h"

namespace kestrune {
namespace {

using testing::FakeStdfu;
using Strings = std::vector<std::string>;
using Wait = std::function<int(DfuSession&, DfuHandle, std::uint32_t, int)>;

constexpr int F = FakeStdfu::kFail;

struct Fixture {
  FakeStdfu fake;
  DfuSession session{fake, fake, nullptr, nullptr, {}};
  DfuHandle handle = FakeStdfu::Handle();
};

long Count(const Strings& log, const std::string& entry) {
  return std::count(log.begin(), log.end(), entry);
}

TEST(DfuPolling, AnswersAtOnceOrGivesUpAtOnce) {
  struct Case {
    const char* name;
    Wait wait;
    int state;
    std::deque<int> script;
    int expected;
  };
  const Case cases[] = {
      {"wanted state first", WaitForDfuState, dfuIDLE, {dfuIDLE}, dfuIDLE},
      {"any state first", WaitForDfuState, kAnyDfuState, {dfuDNLOAD_IDLE}, dfuDNLOAD_IDLE},
      {"no clear, wanted first",
       WaitForDfuStateNoClear,
       dfuDNLOAD_IDLE,
       {dfuDNLOAD_IDLE},
       dfuDNLOAD_IDLE},
      {"already left", WaitWhileDfuState, dfuDNBUSY, {dfuUPLOAD_IDLE}, dfuUPLOAD_IDLE},
      {"first request fails", WaitForDfuState, kAnyDfuState, {F, dfuIDLE}, -1},
      {"first request fails, no clear", WaitForDfuStateNoClear, dfuIDLE, {F, dfuIDLE}, -1},
      {"first request fails, while", WaitWhileDfuState, dfuDNBUSY, {F, dfuIDLE}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.fake.statusScript = c.script;
    EXPECT_EQ(c.wait(f.session, f.handle, 250, c.state), c.expected);
    EXPECT_EQ(f.fake.log, Strings{"getstatus"});
  }
}

// A specific state that never comes: nothing is asked on passes 1-3, one 1 ms pause on pass 3,
// then a poll on every pass, pauses from pass 5, and the time-out is looked at from pass 11.
TEST(DfuPolling, SpecificStateThatNeverComesTimesOutWithoutReturningTheOtherState) {
  for (bool clears : {true, false}) {
    SCOPED_TRACE(clears ? "WaitForDfuState" : "WaitForDfuStateNoClear");
    Fixture f;
    f.fake.statusScript = {dfuDNLOAD_IDLE};
    const Wait wait = clears ? Wait(WaitForDfuState) : Wait(WaitForDfuStateNoClear);
    EXPECT_EQ(wait(f.session, f.handle, 20, dfuIDLE), -1);

    Strings expected{"getstatus", "sleep 1"};
    // Pass p (>= 5) sleeps after its poll; elapsed = p - 3 > 20 first at p = 24.
    for (int pass = 4; pass <= 24; ++pass) {
      if (clears) expected.push_back("clrstatus");
      expected.push_back("getstatus");
      if (pass > 4) expected.push_back("sleep 1");
    }
    EXPECT_EQ(f.fake.log, expected);
  }
}

TEST(DfuPolling, ZeroTimeOutStillMakesEightRepeatedPolls) {
  Fixture f;
  f.fake.statusScript = {dfuDNBUSY};
  EXPECT_EQ(WaitWhileDfuState(f.session, f.handle, 0, dfuDNBUSY), -1);
  EXPECT_EQ(Count(f.fake.log, "getstatus"), 1 + 8);
  EXPECT_EQ(Count(f.fake.log, "clrstatus"), 0);
}

TEST(DfuPolling, StuckInErrorClearsOnEveryPass) {
  {
    Fixture f;
    f.fake.statusScript = {dfuERROR, dfuERROR, dfuERROR, dfuDNLOAD_IDLE};
    EXPECT_EQ(WaitForDfuState(f.session, f.handle, 20, kAnyDfuState), dfuDNLOAD_IDLE);
    EXPECT_EQ(f.fake.log, (Strings{"getstatus", "clrstatus", "getstatus", "clrstatus", "getstatus",
                                   "clrstatus", "getstatus"}));
  }
  {
    Fixture f;
    f.fake.statusScript = {dfuERROR};
    EXPECT_EQ(WaitForDfuState(f.session, f.handle, 20, kAnyDfuState), -1);
    const long passes = Count(f.fake.log, "clrstatus");
    EXPECT_GE(passes, 12);
    EXPECT_EQ(Count(f.fake.log, "getstatus"), passes + 1);
    EXPECT_GT(f.fake.now, 20u);
  }
}

TEST(DfuPolling, NeverReturnsErrorOrTheStateToLeave) {
  struct Case {
    const char* name;
    Wait wait;
    int state;
    std::deque<int> script;
    int expected;
  };
  const Case cases[] = {
      {"while busy, then error", WaitWhileDfuState, dfuDNBUSY, {dfuDNBUSY, dfuERROR}, -1},
      {"while any, error", WaitWhileDfuState, kAnyDfuState, {dfuERROR}, -1},
      {"no clear, error", WaitForDfuStateNoClear, kAnyDfuState, {dfuERROR}, -1},
      {"while busy, then idle",
       WaitWhileDfuState,
       dfuDNBUSY,
       {dfuDNBUSY, dfuERROR, dfuDNLOAD_IDLE},
       dfuDNLOAD_IDLE},
      // A failed poll keeps the last record received; the loop goes on.
      {"failed polls in between",
       WaitForDfuStateNoClear,
       dfuIDLE,
       {dfuDNBUSY, F, F, dfuIDLE},
       dfuIDLE},
      {"failed polls to the end", WaitWhileDfuState, dfuDNBUSY, {dfuDNBUSY, F}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.fake.statusScript = c.script;
    EXPECT_EQ(c.wait(f.session, f.handle, 20, c.state), c.expected);
  }
}

TEST(DfuPolling, TimeOutSurvivesTickWrap) {
  Strings reference;
  for (std::uint32_t start : {0u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(start);
    Fixture f;
    f.fake.now = start;
    f.fake.statusScript = {dfuDNBUSY};
    EXPECT_EQ(WaitWhileDfuState(f.session, f.handle, 20, dfuDNBUSY), -1);
    if (reference.empty()) {
      reference = f.fake.log;
    }
    EXPECT_EQ(f.fake.log, reference);
  }
}

TEST(EnterDfuIdle, FromEachState) {
  struct Case {
    const char* name;
    std::uint8_t state;
    bool stuck;
    bool expected;
    Strings log;
  };
  const Case cases[] = {
      {"idle", dfuIDLE, false, true, {"getstate", "getstate"}},
      {"download idle: one abort",
       dfuDNLOAD_IDLE,
       false,
       true,
       {"getstate", "getstate", "abort", "getstate"}},
      {"upload idle: one abort",
       dfuUPLOAD_IDLE,
       false,
       true,
       {"getstate", "getstate", "abort", "getstate"}},
      {"error: cleared", dfuERROR, false, true, {"getstate", "clrstatus", "getstate", "getstate"}},
      // Abort stalls in dfuDNBUSY; the clear-status that follows leaves the error.
      {"busy: abort refused, cleared",
       dfuDNBUSY,
       false,
       true,
       {"getstate", "getstate", "abort", "clrstatus", "getstate"}},
      {"stays out of idle",
       dfuDNLOAD_IDLE,
       true,
       false,
       {"getstate", "getstate", "abort", "getstate", "abort"}},
      {"stays in error",
       dfuERROR,
       true,
       false,
       {"getstate", "clrstatus", "getstate", "getstate", "abort", "clrstatus", "getstate",
        "clrstatus", "getstate", "abort"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.fake.state = c.state;
    f.fake.stuck = c.stuck;
    EXPECT_EQ(EnterDfuIdle(f.session, f.handle), c.expected);
    EXPECT_EQ(f.fake.log, c.log);
  }
}

TEST(EnterDfuIdle, FailedRequestsGiveUpWithAnAbort) {
  struct Case {
    const char* kind;
    int call;
    Strings log;
  };
  const Case cases[] = {
      // A failed first read is treated like an error state; clear-status then stalls in dfuIDLE.
      {"getstate", 1, {"getstate", "clrstatus", "abort"}},
      {"getstate", 2, {"getstate", "getstate", "abort"}},
      {"getstate", 3, {"getstate", "getstate", "abort", "getstate", "abort"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.call));
    Fixture f;
    f.fake.state = c.call == 3 ? dfuDNLOAD_IDLE : dfuIDLE;
    f.fake.Fail(c.kind, c.call);
    EXPECT_FALSE(EnterDfuIdle(f.session, f.handle));
    EXPECT_EQ(f.fake.log, c.log);
  }
}

}  // namespace
}  // namespace kestrune
