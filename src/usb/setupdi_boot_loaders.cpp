#include "usb/setupdi_boot_loaders.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "device/guid_text.h"
#include "support/ascii_case.h"

namespace kestrune {
namespace {

// Hardware IDs, service names and GUID lists are short; anything larger is no such value.
constexpr DWORD kMaxValueSize = 4096;
// MAX_DEVICE_ID_LEN and its terminating NUL.
constexpr DWORD kMaxInstanceIdSize = 201;
constexpr char kBootLoaderIds[] = "vid_0483&pid_df11";

// The strings of a REG_SZ or REG_MULTI_SZ value of `size` bytes, read without passing its end.
std::vector<std::string> Strings(const char* data, DWORD size) {
  std::vector<std::string> strings;
  std::string_view rest(data, size);
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\0'), rest.size());
    if (end > 0) strings.emplace_back(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return strings;
}

std::vector<std::string> Property(const WinUsbApi& api, HDEVINFO set, SP_DEVINFO_DATA& device,
                                  DWORD property) {
  std::vector<char> buffer(kMaxValueSize);
  DWORD type = 0;
  DWORD size = 0;
  if (!api.SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), kMaxValueSize,
                                             &size) ||
      (type != REG_SZ && type != REG_MULTI_SZ)) {
    return {};
  }
  return Strings(buffer.data(), std::min(size, kMaxValueSize));
}

std::vector<std::string> RegistryStrings(const WinUsbApi& api, HKEY key, const char* name) {
  std::vector<char> buffer(kMaxValueSize);
  DWORD type = 0;
  DWORD size = kMaxValueSize;
  if (api.RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_MULTI_SZ)) {
    return {};
  }
  return Strings(buffer.data(), std::min(size, kMaxValueSize));
}

// A generic installer writes the list (DeviceInterfaceGUIDs), older ones a single value.
std::vector<Guid> InterfaceClasses(const WinUsbApi& api, HDEVINFO set, SP_DEVINFO_DATA& device) {
  const HKEY key = api.SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == nullptr || key == INVALID_HANDLE_VALUE) return {};
  std::vector<std::string> texts = RegistryStrings(api, key, "DeviceInterfaceGUIDs");
  if (texts.empty()) texts = RegistryStrings(api, key, "DeviceInterfaceGUID");
  api.RegCloseKey(key);
  std::vector<Guid> classes;
  for (const std::string& text : texts) {
    const std::optional<Guid> guid = ParseGuid(text);
    if (guid && std::find(classes.begin(), classes.end(), *guid) == classes.end()) {
      classes.push_back(*guid);
    }
  }
  return classes;
}

std::string InstanceId(const WinUsbApi& api, HDEVINFO set, SP_DEVINFO_DATA& device) {
  char id[kMaxInstanceIdSize] = {};
  if (!api.SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr)) return {};
  return std::string(id, strnlen(id, sizeof id));
}

}  // namespace

std::optional<std::vector<BootLoaderDevice>> FindBootLoaderDevices(const WinUsbApi& api) {
  const HDEVINFO set =
      api.SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<BootLoaderDevice> found;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!api.SetupDiEnumDeviceInfo(set, index, &device)) break;
    const std::vector<std::string> ids = Property(api, set, device, SPDRP_HARDWAREID);
    if (std::none_of(ids.begin(), ids.end(), [](const std::string& id) {
          return AsciiLower(id).find(kBootLoaderIds) != std::string::npos;
        })) {
      continue;
    }
    const std::vector<std::string> service = Property(api, set, device, SPDRP_SERVICE);
    found.push_back({InstanceId(api, set, device), service.empty() ? std::string() : service[0],
                     InterfaceClasses(api, set, device)});
  }
  api.SetupDiDestroyDeviceInfoList(set);
  return found;
}

bool IsWinUsbService(const std::string& service) {
  return AsciiLower(service) == "winusb";
}

bool IsBootLoaderPath(const std::string& path) {
  return AsciiLower(path).find(kBootLoaderIds) != std::string::npos;
}

}  // namespace kestrune
