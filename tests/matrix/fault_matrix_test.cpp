// The fault matrix: every scenario runs once clean, to count the requests of each kind, and then
// once for every (request kind, position, fault kind) with that single fault injected. Whatever
// the fault, the host may fail but must never claim a success it did not earn, write OTP where it
// should not, log a run it did not verify or without naming the device, leave the device open or
// hang. A table of outcomes per fault kind is printed.
//
// KESTRUNE_MATRIX_STRIDE=n tries only every n-th position of each request kind (and the last):
// the slow builds (ThreadSanitizer, Windows under Wine) set it.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "matrix_trial.h"

namespace kestrune::matrix {
namespace {

struct FaultKind {
  const char* name;
  std::function<bool(SimRequest)> appliesTo;
  std::function<SimFault(SimRequest, std::uint32_t nth)> make;
};

SimFault Plain(SimFaultAction action, SimRequest kind, std::uint32_t nth) {
  SimFault fault;
  fault.action = action;
  fault.request = kind;
  fault.nth = nth;
  return fault;
}

bool Any(SimRequest kind) {
  return kind != SimRequest::Open;
}
bool Answered(SimRequest kind) {
  return kind == SimRequest::Upload || kind == SimRequest::GetStatus ||
         kind == SimRequest::GetState || kind == SimRequest::GetDescriptor;
}
std::function<bool(SimRequest)> Only(SimRequest only) {
  return [only](SimRequest kind) { return kind == only; };
}

template <typename Change>
std::function<SimFault(SimRequest, std::uint32_t)> With(SimFaultAction action, Change change) {
  return [action, change](SimRequest kind, std::uint32_t nth) {
    SimFault fault = Plain(action, kind, nth);
    change(fault);
    return fault;
  };
}
std::function<SimFault(SimRequest, std::uint32_t)> With(SimFaultAction action) {
  return With(action, [](SimFault&) {});
}

std::vector<FaultKind> FaultKinds() {
  using A = SimFaultAction;
  const SimRequest dnload = SimRequest::Dnload;
  const SimRequest getStatus = SimRequest::GetStatus;
  return {
      {"fail", Any, With(A::Fail)},
      {"stall", Any, With(A::Stall)},
      {"timeout", Any, With(A::Timeout)},
      {"dfuError", Any, With(A::DfuError)},
      {"disconnect", Any, With(A::Disconnect)},
      {"disconnect for good", Any, With(A::Disconnect, [](SimFault& f) { f.stayAway = true; })},
      {"partial block", Only(dnload), With(A::Partial, [](SimFault& f) { f.bytes = 5; })},
      {"lost block", Only(dnload), With(A::Lost)},
      {"read error once", Only(SimRequest::Upload),
       With(A::Garble, [](SimFault& f) { f.offset = 3; })},
      {"short answer", Answered, With(A::Short, [](SimFault& f) { f.bytes = 1; })},
      {"oversized answer", Answered, With(A::Oversized)},
      {"wrong bState", Only(getStatus),
       With(A::WrongState, [](SimFault& f) { f.state = 5; })},  // dfuDNLOAD-IDLE, too early
      {"bwPollTimeout 0", Only(getStatus), With(A::PollTimeout)},
      {"bwPollTimeout 5 s", Only(getStatus),
       With(A::PollTimeout, [](SimFault& f) { f.pollMs = 5000; })},
      {"open fails", Only(SimRequest::Open), With(A::Fail)},
      {"held by another", Only(SimRequest::Open), With(A::Busy)},
  };
}

std::uint32_t Stride() {
  const char* text = std::getenv("KESTRUNE_MATRIX_STRIDE");
  const long stride = text != nullptr ? std::strtol(text, nullptr, 10) : 1;
  return stride > 1 ? static_cast<std::uint32_t>(stride) : 1;
}

struct Row {
  int runs = 0;
  int succeeded = 0;
  int failed = 0;
  int refused = 0;  // discovery did not count one device: the run could not be started
  std::uint32_t longestMs = 0;
  std::array<int, kViolationKinds> violations{};
};

void PrintTable(const std::string& scenario, const std::vector<FaultKind>& kinds,
                const std::map<std::string, Row>& rows) {
  std::printf("\n%s\n%-20s %6s %6s %6s %6s %8s", scenario.c_str(), "fault", "runs", "ok", "failed",
              "refused", "max ms");
  for (std::size_t v = 0; v < kViolationKinds; ++v) {
    std::printf(" %s |", ViolationName(static_cast<Violation>(v)));
  }
  std::printf("\n");
  for (const FaultKind& kind : kinds) {
    const Row& row = rows.at(kind.name);
    std::printf("%-20s %6d %6d %6d %6d %8u", kind.name, row.runs, row.succeeded, row.failed,
                row.refused, row.longestMs);
    for (std::size_t v = 0; v < kViolationKinds; ++v) {
      std::printf(" %*d |",
                  static_cast<int>(std::string(ViolationName(static_cast<Violation>(v))).size()),
                  row.violations[v]);
    }
    std::printf("\n");
  }
  std::fflush(stdout);
}

class FaultMatrix : public testing::TestWithParam<std::size_t> {};

TEST_P(FaultMatrix, NoFaultMakesTheHostClaimOrWriteWhatItShouldNot) {
  const Scenario scenario = Scenarios().at(GetParam());
  const TrialResult clean = RunTrial(scenario, {});
  ASSERT_EQ(clean.succeeded, scenario.cleanSucceeds) << scenario.name << ": the clean run";
  for (const auto& [violation, detail] : clean.violations) {
    ADD_FAILURE() << scenario.name << ", clean run: " << ViolationName(violation) << ": " << detail;
  }

  const std::vector<FaultKind> kinds = FaultKinds();
  const std::uint32_t stride = Stride();
  std::map<std::string, Row> rows;
  std::array<int, kViolationKinds> shown{};
  for (const FaultKind& kind : kinds) {
    Row& row = rows[kind.name];
    for (std::size_t k = 0; k < kSimRequestKinds; ++k) {
      const auto request = static_cast<SimRequest>(k);
      const std::uint32_t count = clean.requests[k];
      if (!kind.appliesTo(request)) continue;
      for (std::uint32_t nth = 1; nth <= count; ++nth) {
        if ((nth - 1) % stride != 0 && nth != count) continue;
        const TrialResult trial = RunTrial(scenario, {kind.make(request, nth)});
        ++row.runs;
        row.succeeded += trial.succeeded;
        row.refused += !trial.started;
        row.failed += trial.started && !trial.succeeded;
        row.longestMs = std::max(row.longestMs, trial.virtualMs);
        for (const auto& [violation, detail] : trial.violations) {
          const auto v = static_cast<std::size_t>(violation);
          ++row.violations[v];
          // A few examples of each kind of violation; the table has the counts.
          if (++shown[v] <= 3) {
            ADD_FAILURE() << scenario.name << ": " << kind.name << " at " << kSimRequestNames[k]
                          << " #" << nth << ": " << ViolationName(violation) << ": " << detail;
          }
        }
      }
    }
  }
  PrintTable(scenario.name, kinds, rows);
  for (std::size_t v = 0; v < kViolationKinds; ++v) {
    int total = 0;
    for (const auto& [name, row] : rows) total += row.violations[v];
    EXPECT_EQ(total, 0) << scenario.name << ": " << ViolationName(static_cast<Violation>(v));
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultMatrix, testing::Range<std::size_t>(0, Scenarios().size()),
                         [](const testing::TestParamInfo<std::size_t>& param) {
                           const std::string title = Scenarios().at(param.param).name;
                           std::string name;
                           for (char c : title) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

}  // namespace
}  // namespace kestrune::matrix
