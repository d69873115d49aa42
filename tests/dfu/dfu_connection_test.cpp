#include "dfu/dfu_connection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testkit/failing_stdfu.h"

namespace kestrune {
namespace {

// Opens succeed unless `openFails`; every open and close is logged with its handle.
class CountingStdfu : public testkit::FailingStdfu {
 public:
  bool openFails = false;
  std::vector<std::string> log;

  std::uint32_t STDFU_Open(const char* path, DfuHandle* handle) override {
    // A failed open may still scribble on the handle.
    *handle = reinterpret_cast<DfuHandle>(std::uintptr_t{++m_opened});
    log.push_back("open " + std::string(path));
    return openFails ? STDFU_ERROR : STDFU_NOERROR;
  }
  std::uint32_t STDFU_Close(DfuHandle* handle) override {
    log.push_back("close " + std::to_string(reinterpret_cast<std::uintptr_t>(*handle)));
    *handle = nullptr;
    return STDFU_NOERROR;
  }

 private:
  std::uintptr_t m_opened = 0;
};

using Strings = std::vector<std::string>;

TEST(DfuConnection, ClosesOnceOnEveryPath) {
  CountingStdfu dfu;
  {
    DfuConnection connection(dfu, "a");
    EXPECT_TRUE(connection.IsOpen());
  }
  EXPECT_EQ(dfu.log, (Strings{"open a", "close 1"}));

  dfu.log.clear();
  {
    DfuConnection connection(dfu, "b");
    connection.Close();  // early, before a box
    EXPECT_FALSE(connection.IsOpen());
    connection.Close();
  }
  EXPECT_EQ(dfu.log, (Strings{"open b", "close 2"}));

  dfu.log.clear();
  {
    DfuConnection connection(dfu, "c");
    ASSERT_TRUE(connection.IsOpen());
    EXPECT_TRUE(connection.Open("d"));  // a device that registered anew
  }
  EXPECT_EQ(dfu.log, (Strings{"open c", "close 3", "open d", "close 4"}));
}

TEST(DfuConnection, AFailedOpenIsNeverClosed) {
  CountingStdfu dfu;
  dfu.openFails = true;
  {
    DfuConnection connection(dfu, "a");
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.Handle(), nullptr);
  }
  EXPECT_EQ(dfu.log, Strings{"open a"});
}

}  // namespace
}  // namespace kestrune
