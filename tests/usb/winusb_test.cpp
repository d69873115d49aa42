// The Windows transport and device bus over a fake device stack: the SetupDi, registry and WinUSB
// functions are replaced by ones that serve a simulated bench, so discovery runs through the same
// calls as on a real machine. And the real functions, which under Wine find no device.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "device/enumerate.h"
#include "fake_winusb_stack.h"
#include "sim/sim_bench.h"
#include "support/ascii_case.h"
#include "usb/setupdi_bus.h"
#include "usb/usb_stdfu.h"
#include "usb/winusb_backend.h"

namespace kestrune {
namespace {

using testing::FakeBinding;
using testing::FakeStack;
using testing::FakeWinUsbApi;
using testing::PathUnder;

// The class a generic WinUSB installer made up for the device.
constexpr Guid kGenericClass{
    0x6E45736A, 0x2B1B, 0x4078, {0xB7, 0x72, 0xB3, 0xAF, 0x2B, 0x6F, 0xDE, 0x8C}};

class WinUsbTest : public ::testing::Test {
 protected:
  ~WinUsbTest() override {
    // Every set, key, file and WinUSB handle that was opened was given back.
    EXPECT_EQ(stack.openSets, 0);
    EXPECT_EQ(stack.openKeys, 0);
    EXPECT_EQ(stack.openFiles, 0);
    EXPECT_EQ(stack.openWinUsb, 0);
  }
  std::size_t Add(SimInterfaceClass interfaceClass, const char* instance) {
    SimDeviceConfig config = DefaultSimDevice("");
    config.interfaceClass = interfaceClass;
    config.instance = instance;
    return bench.AddDevice(config).device.value();
  }

  VirtualClock clock;
  SimBench bench{clock};
  FakeStack stack{bench};
  std::vector<UsbOpenProblem> problems;
  UsbOpenProblemSink sink = [this](const UsbOpenProblem& problem) { problems.push_back(problem); };
  WinUsbBackend backend{FakeWinUsbApi(), sink};
  SetupDiBus bus{FakeWinUsbApi(), /*ownNotifications=*/false, sink};
  UsbStdfuLibrary dfu{backend, clock};
};

TEST_F(WinUsbTest, DiscoveryFindsBothClassesAndReadsTheFirstDeviceThroughWinUsb) {
  const std::size_t first = Add(SimInterfaceClass::First, "a1");
  Add(SimInterfaceClass::Second, "b2");
  EXPECT_EQ(bus.PresentInterfaces(kSecondInterfaceClass),
            std::vector<std::string>{bench.PathOf(1)});

  const Discovery found = Enumerate(dfu, bus, clock);
  EXPECT_EQ(found.deviceCount, 2);
  EXPECT_EQ(found.devicePath, bench.PathOf(first));
  EXPECT_EQ(found.deviceError, 0);
  ASSERT_TRUE(found.memoryMap);
  EXPECT_EQ(found.flashSize, 1024u * 1024);
  EXPECT_EQ(found.identityState, IdentityState::NotProgrammed);
  // Descriptors through WinUsb_GetDescriptor, the OTP alternate through the WinUSB call, and the
  // transfers under the library's time-out.
  EXPECT_GT(stack.descriptorCalls, 0);
  EXPECT_EQ(stack.rawDescriptorRequests, 0);
  EXPECT_EQ(stack.alternates, std::vector<UCHAR>{2});
  EXPECT_EQ(stack.timeoutMs, UsbStdfuSettings{}.requestTimeoutMs);
  EXPECT_TRUE(problems.empty());
}

TEST_F(WinUsbTest, InterfacesWhoseDetailFailsAreNotCountedAndAMissingSetIsNoList) {
  Add(SimInterfaceClass::First, "a1");
  Add(SimInterfaceClass::First, "a2");
  stack.failDetailAt = 0;
  EXPECT_EQ(bus.PresentInterfaces(kDfuInterfaceClass), std::vector<std::string>{bench.PathOf(1)});
  stack.failClassDevs = true;
  EXPECT_EQ(bus.PresentInterfaces(kDfuInterfaceClass), std::nullopt);
}

TEST_F(WinUsbTest, ABootLoaderBoundByAGenericInstallerIsFoundThroughTheClassInItsRegistryKey) {
  for (const char* value : {"DeviceInterfaceGUIDs", "DeviceInterfaceGUID"}) {
    SCOPED_TRACE(value);
    const std::size_t device = Add(SimInterfaceClass::First, value);
    stack.bindings[AsciiLower(value)] = FakeBinding{"WinUSB", {kGenericClass}, value};

    const std::string path = PathUnder(bench.PathOf(device), kGenericClass);
    EXPECT_EQ(bus.PresentInterfaces(kDfuInterfaceClass), std::vector<std::string>{path});
    const Discovery found = Enumerate(dfu, bus, clock);
    EXPECT_EQ(found.deviceCount, 1);
    EXPECT_EQ(found.devicePath, path);
    EXPECT_EQ(found.deviceError, 0);
    EXPECT_EQ(found.flashSize, 1024u * 1024);
    bench.Unplug(device);
  }
  // Its class is among those the window registers for, besides the DFU classes and USB devices.
  const std::vector<Guid> classes = bus.NotificationClasses();
  EXPECT_EQ(classes.size(), 4u);
  EXPECT_NE(std::find(classes.begin(), classes.end(), kGenericClass), classes.end());
  EXPECT_TRUE(problems.empty());
}

TEST_F(WinUsbTest, ABootLoaderThatNoWinUsbBindingReachesIsReportedWithItsDriver) {
  Add(SimInterfaceClass::First, "a1");
  const struct {
    FakeBinding binding;
    std::string driver;
  } cases[] = {
      {{"STTub30", {}, ""}, "STTub30"},  // the vendor's driver
      {{"", {}, ""}, ""},                // no driver at all
  };
  for (const auto& c : cases) {
    problems.clear();
    stack.bindings["a1"] = c.binding;
    const Discovery found = Enumerate(dfu, bus, clock);
    EXPECT_EQ(found.deviceCount, 0);
    // Reported as the device Windows knows, not the other device on the bus.
    EXPECT_EQ(problems, (std::vector<UsbOpenProblem>{{UsbOpenProblem::Kind::NotWinUsb,
                                                      "USB\\VID_0483&PID_DF11\\A1", c.driver}}));
  }
}

TEST_F(WinUsbTest, VanishedDeviceAndDevicesThatCannotBeOpened) {
  const std::size_t device = Add(SimInterfaceClass::First, "a1");
  const std::string path = bench.PathOf(device);
  {
    std::unique_ptr<UsbDevice> open = backend.Open(path);
    ASSERT_TRUE(open);
    std::uint8_t state = 0xFF;
    EXPECT_EQ(open->ControlTransfer({0xA1, 5, 0, 0, 1}, &state, 1000).result, UsbResult::Ok);
    EXPECT_EQ(state, 2);  // dfuIDLE
    bench.Unplug(device);
    EXPECT_EQ(open->ControlTransfer({0xA1, 5, 0, 0, 1}, &state, 1000).result, UsbResult::NoDevice);
    EXPECT_EQ(open->SetAlternateSetting(0, 1), UsbResult::NoDevice);
  }
  EXPECT_FALSE(backend.Open(path));
  EXPECT_TRUE(problems.empty()) << "a device that is gone needs nothing done";
  bench.Plug(device);

  for (const DWORD error : {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_SHARING_VIOLATION}}) {
    stack.createFileError = error;
    EXPECT_FALSE(backend.Open(path));
  }
  stack.createFileError = 0;
  stack.initializeError = ERROR_INVALID_FUNCTION;
  EXPECT_FALSE(backend.Open(path));
  using Kind = UsbOpenProblem::Kind;
  EXPECT_EQ(problems, (std::vector<UsbOpenProblem>{{Kind::AccessDenied, path, {}},
                                                   {Kind::InUse, path, {}},
                                                   {Kind::NotWinUsb, path, {}}}));
}

// The machine's own functions: Wine has no USB device of either class, which is no error.
TEST(WinUsbRealFunctions, FindNoDeviceAndCountZero) {
  std::vector<UsbOpenProblem> problems;
  SetupDiBus bus(RealWinUsbApi(), /*ownNotifications=*/true,
                 [&problems](const UsbOpenProblem& problem) { problems.push_back(problem); });
  bus.SetListener([](DeviceEvent, const std::string&) {});
  EXPECT_EQ(bus.PresentInterfaces(kDfuInterfaceClass), std::vector<std::string>{});
  EXPECT_EQ(bus.PresentInterfaces(kSecondInterfaceClass), std::vector<std::string>{});
  VirtualClock clock;
  WinUsbBackend backend(RealWinUsbApi());
  UsbStdfuLibrary dfu(backend, clock);
  const Discovery found = Enumerate(dfu, bus, clock);
  EXPECT_EQ(found.deviceCount, 0);
  EXPECT_EQ(found.deviceError, 0);
  EXPECT_TRUE(problems.empty());
  EXPECT_FALSE(
      backend.Open("\\\\?\\usb#vid_0483&pid_df11#none#{3fe809ab-fb91-4cb5-a643-69670d52366e}"));
  bus.SetListener({});
}

}  // namespace
}  // namespace kestrune
