#include "fake_winusb_stack.h"

#include <cstddef>
#include <cstring>
#include <memory>

#include "device/guid_text.h"
#include "support/ascii_case.h"

namespace kestrune::testing {
namespace {

FakeStack* g_stack = nullptr;

struct FakeDevice {
  std::string instanceId;
  std::string hardwareIds;  // REG_MULTI_SZ
  FakeBinding binding;
};

// An interface set (paths) or a device set (devices).
struct FakeSet {
  std::vector<std::string> paths;
  std::vector<FakeDevice> devices;
};

struct FakeKey {
  std::string name;
  std::string value;  // as stored, with its terminating NULs
  DWORD type = REG_NONE;
};

struct FakeFile {
  std::unique_ptr<UsbDevice> device;
  bool winUsb = true;
};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return text;
}

// The instance of "\\?\usb#vid_0483&pid_df11#<instance>#{class}".
std::string InstanceOf(const std::string& path) {
  const std::size_t first = path.find('#', path.find('#') + 1);
  const std::size_t last = path.rfind('#');
  return path.substr(first + 1, last - first - 1);
}

std::string IdsOf(const std::string& path) {
  const std::size_t start = path.find('#') + 1;
  return Upper(path.substr(start, path.find('#', start) - start));
}

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

// The bench's paths with the class each is reached through.
std::vector<std::pair<std::string, Guid>> BenchPaths() {
  std::vector<std::pair<std::string, Guid>> paths;
  for (const Guid& simClass : {kDfuInterfaceClass, kSecondInterfaceClass}) {
    const std::vector<std::string> present = g_stack->bench.PresentInterfaces(simClass).value();
    for (const std::string& path : present) paths.emplace_back(path, simClass);
  }
  return paths;
}

FakeSet* InterfaceSet(const Guid& wanted) {
  auto* set = new FakeSet;
  for (const auto& [path, simClass] : BenchPaths()) {
    // The second class stands for the vendor driver's other interface, whatever the binding.
    if (simClass == kSecondInterfaceClass) {
      if (wanted == kSecondInterfaceClass) set->paths.push_back(path);
      continue;
    }
    const FakeBinding& binding = g_stack->BindingOf(InstanceOf(path));
    for (const Guid& exposed : binding.classes) {
      if (exposed == wanted) set->paths.push_back(PathUnder(path, exposed));
    }
  }
  return set;
}

FakeSet* DeviceSet() {
  auto* set = new FakeSet;
  for (const auto& [path, simClass] : BenchPaths()) {
    const std::string ids = IdsOf(path);
    set->devices.push_back({"USB\\" + ids + "\\" + Upper(InstanceOf(path)),
                            std::string("USB\\") + ids + "&REV_2200" + '\0' + "USB\\" + ids + '\0',
                            g_stack->BindingOf(InstanceOf(path))});
  }
  // Another device on the bus, which discovery must leave alone.
  set->devices.push_back({"USB\\VID_046D&PID_C077\\5&2C3B0F1&0&1",
                          std::string("USB\\VID_046D&PID_C077&REV_7200") + '\0' + '\0',
                          {"HidUsb", {}, ""}});
  return set;
}

HDEVINFO WINAPI FakeGetClassDevs(const GUID* guid, PCSTR enumerator, HWND, DWORD flags) {
  if (g_stack->failClassDevs) return INVALID_HANDLE_VALUE;
  FakeSet* set = nullptr;
  if (flags == (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE) && guid != nullptr) {
    set = InterfaceSet(FromWindows(*guid));
  } else if (flags == (DIGCF_PRESENT | DIGCF_ALLCLASSES) && guid == nullptr &&
             enumerator != nullptr && std::strcmp(enumerator, "USB") == 0) {
    set = DeviceSet();
  } else {
    SetLastError(ERROR_INVALID_FLAGS);
    return INVALID_HANDLE_VALUE;
  }
  ++g_stack->openSets;
  return set;
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

BOOL WINAPI FakeEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) {
  if (index >= static_cast<FakeSet*>(set)->devices.size()) return Fail(ERROR_NO_MORE_ITEMS);
  if (device->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
  device->DevInst = index;
  return TRUE;
}

BOOL Give(const std::string& value, PBYTE buffer, DWORD size, PDWORD required) {
  if (required != nullptr) *required = static_cast<DWORD>(value.size());
  if (buffer == nullptr || size < value.size()) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, value.data(), value.size());
  return TRUE;
}

BOOL WINAPI FakeDeviceProperty(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, PDWORD type,
                               PBYTE buffer, DWORD size, PDWORD required) {
  const FakeDevice& found = static_cast<FakeSet*>(set)->devices.at(device->DevInst);
  if (property == SPDRP_HARDWAREID) {
    if (type != nullptr) *type = REG_MULTI_SZ;
    return Give(found.hardwareIds, buffer, size, required);
  }
  if (property == SPDRP_SERVICE && !found.binding.service.empty()) {
    if (type != nullptr) *type = REG_SZ;
    return Give(found.binding.service + '\0', buffer, size, required);
  }
  return Fail(ERROR_INVALID_DATA);
}

BOOL WINAPI FakeInstanceId(HDEVINFO set, PSP_DEVINFO_DATA device, PSTR buffer, DWORD size,
                           PDWORD required) {
  const std::string& id = static_cast<FakeSet*>(set)->devices.at(device->DevInst).instanceId;
  return Give(id + '\0', reinterpret_cast<PBYTE>(buffer), size, required);
}

HKEY WINAPI FakeOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD,
                              DWORD keyType, REGSAM) {
  if (scope != DICS_FLAG_GLOBAL || keyType != DIREG_DEV) {
    SetLastError(ERROR_INVALID_FLAGS);
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
  }
  const FakeBinding& binding = static_cast<FakeSet*>(set)->devices.at(device->DevInst).binding;
  auto* key = new FakeKey{binding.registryValue, {}, REG_MULTI_SZ};
  for (const Guid& exposed : binding.classes) key->value += GuidText(exposed) + '\0';
  if (binding.registryValue == "DeviceInterfaceGUID") {
    key->type = REG_SZ;
    key->value =
        binding.classes.empty() ? std::string(1, '\0') : GuidText(binding.classes[0]) + '\0';
  } else {
    key->value += '\0';
  }
  ++g_stack->openKeys;
  return reinterpret_cast<HKEY>(key);
}

LSTATUS WINAPI FakeQueryValue(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                              LPDWORD size) {
  const auto* value = reinterpret_cast<FakeKey*>(key);
  if (value->name.empty() || value->name != name) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value->type;
  const DWORD room = size == nullptr ? 0 : *size;
  if (size != nullptr) *size = static_cast<DWORD>(value->value.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (room < value->value.size()) return ERROR_MORE_DATA;
  std::memcpy(data, value->value.data(), value->value.size());
  return ERROR_SUCCESS;
}

LSTATUS WINAPI FakeCloseKey(HKEY key) {
  --g_stack->openKeys;
  delete reinterpret_cast<FakeKey*>(key);
  return ERROR_SUCCESS;
}

HANDLE WINAPI FakeCreateFile(LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD flags,
                             HANDLE) {
  if (g_stack->createFileError != 0 || (flags & FILE_FLAG_OVERLAPPED) == 0) {
    SetLastError(g_stack->createFileError != 0 ? g_stack->createFileError.load()
                                               : ERROR_INVALID_FLAGS);
    return INVALID_HANDLE_VALUE;
  }
  // The bench knows the device under its simulated class.
  std::unique_ptr<UsbDevice> device;
  for (const Guid& simClass : {kDfuInterfaceClass, kSecondInterfaceClass}) {
    if (!device) device = g_stack->bench.Open(PathUnder(path, simClass));
  }
  if (!device) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  ++g_stack->openFiles;
  return new FakeFile{std::move(device),
                      AsciiLower(g_stack->BindingOf(InstanceOf(path)).service) == "winusb"};
}

BOOL WINAPI FakeCloseHandle(HANDLE file) {
  --g_stack->openFiles;
  delete static_cast<FakeFile*>(file);
  return TRUE;
}

BOOL WINAPI FakeInitialize(HANDLE file, PWINUSB_INTERFACE_HANDLE usb) {
  if (g_stack->initializeError != 0) return Fail(g_stack->initializeError);
  if (!static_cast<FakeFile*>(file)->winUsb) return Fail(ERROR_INVALID_FUNCTION);
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

}  // namespace

FakeStack::FakeStack(SimBench& simulated) : bench(simulated) {
  g_stack = this;
}

FakeStack::~FakeStack() {
  g_stack = nullptr;
}

const FakeBinding& FakeStack::BindingOf(const std::string& instance) const {
  static const FakeBinding kOurInf;
  const auto found = bindings.find(AsciiLower(instance));
  return found == bindings.end() ? kOurInf : found->second;
}

const WinUsbApi& FakeWinUsbApi() {
  static const WinUsbApi api{
      FakeGetClassDevs,   FakeEnumInterfaces, FakeInterfaceDetail, FakeDestroySet,
      FakeEnumDeviceInfo, FakeDeviceProperty, FakeInstanceId,      FakeOpenDevRegKey,
      FakeQueryValue,     FakeCloseKey,       FakeCreateFile,      FakeCloseHandle,
      FakeInitialize,     FakeFree,           FakeControlTransfer, FakeSetAlternate,
      FakeGetDescriptor,  FakeSetPipePolicy,  ::GetLastError};
  return api;
}

std::string PathUnder(const std::string& path, const Guid& interfaceClass) {
  return path.substr(0, path.rfind('#') + 1) + AsciiLower(GuidText(interfaceClass));
}

}  // namespace kestrune::testing
