// The Windows transport and device bus over a fake device stack: the SetupDi and WinUSB functions
// are replaced by ones that serve a simulated bench, so discovery runs through the same calls as on
// a real machine. And the real functions, which under Wine find no device.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <memory>

#include "device/enumerate.h"
#include "sim/sim_bench.h"
#include "usb/setupdi_bus.h"
#include "usb/usb_stdfu.h"
#include "usb/winusb_backend.h"

namespace kestrune {
namespace {

// What the fake functions serve and what they saw. One at a time: the functions are plain
// pointers and find it through g_stack.
struct FakeStack {
  SimBench* bench = nullptr;
  bool failClassDevs = false;
  DWORD failDetailAt = ~0u;
  DWORD createFileError = 0;  // CreateFileA fails with this when set
  DWORD initializeError = 0;  // WinUsb_Initialize fails with this when set
  int openSets = 0;
  int openFiles = 0;
  int openWinUsb = 0;
  int descriptorCalls = 0;
  int rawDescriptorRequests = 0;  // GET_DESCRIPTOR sent as a plain control transfer
  ULONG timeoutMs = 0;
  std::vector<UCHAR> alternates;
};
FakeStack* g_stack = nullptr;

struct FakeSet {
  std::vector<std::string> paths;
};
struct FakeFile {
  std::unique_ptr<UsbDevice> device;
};

Guid FromWindows(const GUID& guid) {
  Guid result{guid.Data1, guid.Data2, guid.Data3, {}};
  std::memcpy(result.data4, guid.Data4, sizeof result.data4);
  return result;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

DWORD ErrorOf(UsbResult result) {
  switch (result) {
    case UsbResult::Stall:
      return ERROR_GEN_FAILURE;
    case UsbResult::Timeout:
      return ERROR_SEM_TIMEOUT;
    case UsbResult::NoDevice:
      return ERROR_BAD_COMMAND;
    default:
      return ERROR_IO_DEVICE;
  }
}

HDEVINFO WINAPI FakeGetClassDevs(const GUID* guid, PCSTR, HWND, DWORD flags) {
  if (g_stack->failClassDevs || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
    return INVALID_HANDLE_VALUE;
  }
  ++g_stack->openSets;
  return new FakeSet{g_stack->bench->PresentInterfaces(FromWindows(*guid)).value()};
}

BOOL WINAPI FakeEnumInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                               PSP_DEVICE_INTERFACE_DATA data) {
  if (index >= static_cast<FakeSet*>(set)->paths.size()) return Fail(ERROR_NO_MORE_ITEMS);
  data->Reserved = index;
  return TRUE;
}

BOOL WINAPI FakeInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                PDWORD required, PSP_DEVINFO_DATA) {
  const std::string& path = static_cast<FakeSet*>(set)->paths.at(data->Reserved);
  const DWORD needed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1;
  if (required != nullptr) *required = needed;
  if (detail == nullptr || size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  if (data->Reserved == g_stack->failDetailAt) return Fail(ERROR_INVALID_DATA);
  std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
  return TRUE;
}

BOOL WINAPI FakeDestroySet(HDEVINFO set) {
  --g_stack->openSets;
  delete static_cast<FakeSet*>(set);
  return TRUE;
}

HANDLE WINAPI FakeCreateFile(LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD flags,
                             HANDLE) {
  if (g_stack->createFileError != 0 || (flags & FILE_FLAG_OVERLAPPED) == 0) {
    SetLastError(g_stack->createFileError != 0 ? g_stack->createFileError : ERROR_INVALID_FLAGS);
    return INVALID_HANDLE_VALUE;
  }
  std::unique_ptr<UsbDevice> device = g_stack->bench->Open(path);
  if (!device) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  ++g_stack->openFiles;
  return new FakeFile{std::move(device)};
}

BOOL WINAPI FakeCloseHandle(HANDLE file) {
  --g_stack->openFiles;
  delete static_cast<FakeFile*>(file);
  return TRUE;
}

BOOL WINAPI FakeInitialize(HANDLE file, PWINUSB_INTERFACE_HANDLE usb) {
  if (g_stack->initializeError != 0) return Fail(g_stack->initializeError);
  ++g_stack->openWinUsb;
  *usb = file;
  return TRUE;
}

BOOL WINAPI FakeFree(WINUSB_INTERFACE_HANDLE) {
  --g_stack->openWinUsb;
  return TRUE;
}

BOOL Transfer(WINUSB_INTERFACE_HANDLE usb, const UsbSetup& setup, PUCHAR buffer, PULONG moved) {
  const UsbTransfer transfer =
      static_cast<FakeFile*>(usb)->device->ControlTransfer(setup, buffer, g_stack->timeoutMs);
  if (transfer.result != UsbResult::Ok) return Fail(ErrorOf(transfer.result));
  *moved = transfer.length;
  return TRUE;
}

BOOL WINAPI FakeControlTransfer(WINUSB_INTERFACE_HANDLE usb, WINUSB_SETUP_PACKET packet,
                                PUCHAR buffer, ULONG length, PULONG moved, LPOVERLAPPED) {
  if (packet.Length != length) return Fail(ERROR_INVALID_PARAMETER);
  g_stack->rawDescriptorRequests += packet.RequestType == 0x80 && packet.Request == 6;
  return Transfer(usb,
                  {packet.RequestType, packet.Request, packet.Value, packet.Index, packet.Length},
                  buffer, moved);
}

BOOL WINAPI FakeGetDescriptor(WINUSB_INTERFACE_HANDLE usb, UCHAR type, UCHAR index, USHORT language,
                              PUCHAR buffer, ULONG length, PULONG moved) {
  ++g_stack->descriptorCalls;
  const UsbSetup setup{0x80, 6, static_cast<std::uint16_t>(type << 8 | index), language,
                       static_cast<std::uint16_t>(length)};
  return Transfer(usb, setup, buffer, moved);
}

BOOL WINAPI FakeSetAlternate(WINUSB_INTERFACE_HANDLE usb, UCHAR alternate) {
  g_stack->alternates.push_back(alternate);
  const UsbResult result = static_cast<FakeFile*>(usb)->device->SetAlternateSetting(0, alternate);
  return result == UsbResult::Ok ? TRUE : Fail(ErrorOf(result));
}

BOOL WINAPI FakeSetPipePolicy(WINUSB_INTERFACE_HANDLE, UCHAR pipe, ULONG policy, ULONG size,
                              PVOID value) {
  if (pipe != 0 || policy != PIPE_TRANSFER_TIMEOUT || size != sizeof(ULONG)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  g_stack->timeoutMs = *static_cast<ULONG*>(value);
  return TRUE;
}

const WinUsbApi kFakeApi{FakeGetClassDevs, FakeEnumInterfaces, FakeInterfaceDetail,
                         FakeDestroySet,   FakeCreateFile,     FakeCloseHandle,
                         FakeInitialize,   FakeFree,           FakeControlTransfer,
                         FakeSetAlternate, FakeGetDescriptor,  FakeSetPipePolicy,
                         ::GetLastError};

class WinUsbTest : public ::testing::Test {
 protected:
  WinUsbTest() {
    stack.bench = &bench;
    g_stack = &stack;
  }
  ~WinUsbTest() override {
    // Every set, file and WinUSB handle that was opened was given back.
    EXPECT_EQ(stack.openSets, 0);
    EXPECT_EQ(stack.openFiles, 0);
    EXPECT_EQ(stack.openWinUsb, 0);
    g_stack = nullptr;
  }
  std::size_t Add(SimInterfaceClass interfaceClass, const char* instance) {
    SimDeviceConfig config = DefaultSimDevice("");
    config.interfaceClass = interfaceClass;
    config.instance = instance;
    return bench.AddDevice(config).device.value();
  }

  VirtualClock clock;
  SimBench bench{clock};
  FakeStack stack;
  std::vector<std::string> problems;
  WinUsbBackend backend{kFakeApi,
                        [this](const std::string& message) { problems.push_back(message); }};
  SetupDiBus bus{kFakeApi, /*ownNotifications=*/false};
  UsbStdfuLibrary dfu{backend, clock};
};

TEST_F(WinUsbTest, DiscoveryFindsBothClassesAndReadsTheFirstDeviceThroughWinUsb) {
  const std::size_t first = Add(SimInterfaceClass::First, "a1");
  Add(SimInterfaceClass::Second, "b2");
  EXPECT_EQ(bus.PresentInterfaces(kSecondInterfaceClass),
            std::vector<std::string>{bench.PathOf(1)});

  const Discovery found = Enumerate(dfu, bus, clock, UtcCalendar);
  EXPECT_EQ(found.deviceCount, 2);
  EXPECT_EQ(found.devicePath, bench.PathOf(first));
  EXPECT_EQ(found.deviceError, 0);
  ASSERT_TRUE(found.memoryMap);
  EXPECT_EQ(found.flashSize, 1024u * 1024);
  EXPECT_EQ(found.identityState, kIdentityNotProgrammed);
  // Descriptors through WinUsb_GetDescriptor, the OTP alternate through the WinUSB call, and the
  // transfers under the library's time-out.
  EXPECT_GT(stack.descriptorCalls, 0);
  EXPECT_EQ(stack.rawDescriptorRequests, 0);
  EXPECT_EQ(stack.alternates, std::vector<UCHAR>{2});
  EXPECT_EQ(stack.timeoutMs, UsbStdfuSettings{}.requestTimeoutMs);
}

TEST_F(WinUsbTest, InterfacesWhoseDetailFailsAreNotCountedAndAMissingSetIsNoList) {
  Add(SimInterfaceClass::First, "a1");
  Add(SimInterfaceClass::First, "a2");
  stack.failDetailAt = 0;
  EXPECT_EQ(bus.PresentInterfaces(kDfuInterfaceClass), std::vector<std::string>{bench.PathOf(1)});
  stack.failClassDevs = true;
  EXPECT_EQ(bus.PresentInterfaces(kDfuInterfaceClass), std::nullopt);
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

  stack.createFileError = ERROR_ACCESS_DENIED;
  EXPECT_FALSE(backend.Open(path));
  stack.createFileError = 0;
  stack.initializeError = ERROR_INVALID_FUNCTION;
  EXPECT_FALSE(backend.Open(path));
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0], "the USB device " + path + " is in use by another program");
  EXPECT_NE(
      problems[1].find("not bound to WinUSB: install packaging\\windows\\kestrune-winusb.inf"),
      std::string::npos)
      << problems[1];
}

// The machine's own functions: Wine has no USB device of either class, which is no error.
TEST(WinUsbRealFunctions, FindNoDeviceAndCountZero) {
  SetupDiBus bus(RealWinUsbApi(), /*ownNotifications=*/true);
  bus.SetListener([](DeviceEvent, const std::string&) {});
  EXPECT_EQ(bus.PresentInterfaces(kDfuInterfaceClass), std::vector<std::string>{});
  EXPECT_EQ(bus.PresentInterfaces(kSecondInterfaceClass), std::vector<std::string>{});
  VirtualClock clock;
  WinUsbBackend backend(RealWinUsbApi());
  UsbStdfuLibrary dfu(backend, clock);
  const Discovery found = Enumerate(dfu, bus, clock, UtcCalendar);
  EXPECT_EQ(found.deviceCount, 0);
  EXPECT_EQ(found.deviceError, 0);
  EXPECT_FALSE(
      backend.Open("\\\\?\\usb#vid_0483&pid_df11#none#{3fe809ab-fb91-4cb5-a643-69670d52366e}"));
  bus.SetListener({});
}

}  // namespace
}  // namespace kestrune
