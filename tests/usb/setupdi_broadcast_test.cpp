// Device broadcasts as WM_DEVICECHANGE hands them over, well-formed and not. Each buffer is
// exactly as long as the size the broadcast gives, so a read past it would leave the buffer.

#include <windows.h>

#include <dbt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "usb/setupdi_broadcast.h"

namespace kestrune {
namespace {

constexpr std::size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);

// A broadcast of `size` bytes (at least its size field) whose name field starts with `name`, cut
// at the end of the buffer.
std::vector<char> Broadcast(DWORD size, DWORD type, const std::string& name) {
  std::vector<char> bytes(std::max<std::size_t>(size, sizeof size));
  std::memcpy(bytes.data(), &size, sizeof size);
  if (bytes.size() >= 2 * sizeof(DWORD)) std::memcpy(&bytes[sizeof size], &type, sizeof type);
  if (bytes.size() > kNameOffset) {
    std::memcpy(&bytes[kNameOffset], name.data(),
                std::min(name.size(), bytes.size() - kNameOffset));
  }
  return bytes;
}

TEST(SetupDiBroadcast, NamesAreReadWithinTheGivenSizeAndMalformedBroadcastsAreIgnored) {
  const std::string path = "\\\\?\\usb#vid_0483&pid_df11#1#{guid}";
  const auto whole = static_cast<DWORD>(kNameOffset + path.size() + 1);
  const struct {
    const char* what;
    std::vector<char> broadcast;
    std::optional<std::string> name;
  } cases[] = {
      {"a whole broadcast", Broadcast(whole, DBT_DEVTYP_DEVICEINTERFACE, path + '\0'), path},
      {"no terminator", Broadcast(kNameOffset + 7, DBT_DEVTYP_DEVICEINTERFACE, path),
       path.substr(0, 7)},
      {"a terminator early", Broadcast(whole, DBT_DEVTYP_DEVICEINTERFACE, std::string("ab\0cd", 5)),
       "ab"},
      {"another device type", Broadcast(whole, DBT_DEVTYP_VOLUME, path + '\0'), std::nullopt},
      {"no room for a name", Broadcast(kNameOffset, DBT_DEVTYP_DEVICEINTERFACE, ""), std::nullopt},
      {"shorter than the header", Broadcast(sizeof(DEV_BROADCAST_HDR) - 1, 0, ""), std::nullopt},
      {"only its size", Broadcast(sizeof(DWORD), 0, ""), std::nullopt},
      {"size zero", Broadcast(0, 0, ""), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DeviceInterfaceName(c.broadcast.data()), c.name) << c.what;
  }
  EXPECT_EQ(DeviceInterfaceName(nullptr), std::nullopt);
}

}  // namespace
}  // namespace kestrune
