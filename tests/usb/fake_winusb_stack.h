#pragma once
// A fake Windows device stack: the SetupDi, registry and WinUSB functions of the table replaced by
// ones that serve a simulated bench, so that the bus, the transport and the dialog above them run
// through the same calls as on a real machine. How each boot loader is bound is up to the test:
// WinUSB through our INF (the default), WinUSB through a generic installer with a class of its
// own, another driver, or none. One stack at a time: the functions are plain pointers.

#include <windows.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "device/device_bus.h"
#include "sim/sim_bench.h"
#include "usb/winusb_api.h"

namespace kestrune::testing {

struct FakeBinding {
  std::string service = "WinUSB";                      // "" when no driver is bound
  std::vector<Guid> classes{kDfuInterfaceClass};       // the interface classes the driver exposes
  std::string registryValue = "DeviceInterfaceGUIDs";  // where they are written; "" nowhere
};

struct FakeStack {
  explicit FakeStack(SimBench& simulated);
  ~FakeStack();
  FakeStack(const FakeStack&) = delete;
  FakeStack& operator=(const FakeStack&) = delete;

  SimBench& bench;
  // By device instance in lower case, as it stands in the bench's paths.
  std::map<std::string, FakeBinding> bindings;
  bool failClassDevs = false;
  DWORD failDetailAt = ~0u;
  std::atomic<DWORD> createFileError{0};  // CreateFileA fails with this when set
  DWORD initializeError = 0;              // WinUsb_Initialize fails with this when set
  std::atomic<int> openSets{0};
  std::atomic<int> openKeys{0};
  std::atomic<int> openFiles{0};
  std::atomic<int> openWinUsb{0};
  std::atomic<int> descriptorCalls{0};
  std::atomic<int> rawDescriptorRequests{0};  // GET_DESCRIPTOR sent as a plain control transfer
  std::atomic<ULONG> timeoutMs{0};
  std::vector<UCHAR> alternates;

  const FakeBinding& BindingOf(const std::string& instance) const;
};

// The functions serving the stack that lives.
const WinUsbApi& FakeWinUsbApi();

// `path` with its class tail replaced by `interfaceClass`, as Windows names the interface.
std::string PathUnder(const std::string& path, const Guid& interfaceClass);

}  // namespace kestrune::testing
