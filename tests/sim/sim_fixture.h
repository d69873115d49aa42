#pragma once
// A bench on a virtual clock with one device (the default one unless told), kept in memory.

#include <gtest/gtest.h>

#include "sim/sim_bench.h"
#include "sim_requests.h"

namespace kestrune::simtest {

class SimTest : public ::testing::Test {
 protected:
  explicit SimTest(SimDeviceConfig config = DefaultSimDevice("")) : bench(clock) {
    const SimAddResult added = bench.AddDevice(std::move(config));
    EXPECT_TRUE(added.device) << added.error;
    host = std::make_unique<Requests>(bench, 0, clock);
  }

  VirtualClock clock{1000};
  SimBench bench;
  std::unique_ptr<Requests> host;
};

}  // namespace kestrune::simtest
