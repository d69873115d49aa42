#pragma once
// The main window's fields that discovery fills: the "Geräte-Infos" group and the hidden
// "Einstellungen" group of the identity.

namespace kestrune::device_controls {

inline constexpr int kDeviceCount = 1004;
inline constexpr int kVendorId = 1005;
inline constexpr int kProductId = 1006;
inline constexpr int kDfuVersion = 1007;
inline constexpr int kDeviceBcd = 1008;
inline constexpr int kFlashSize = 1009;
inline constexpr int kUniqueId = 1010;
inline constexpr int kSerialNumber = 1019;
inline constexpr int kMacA = 1020;
inline constexpr int kMacB = 1021;
inline constexpr int kAssignmentDate = 1022;

}  // namespace kestrune::device_controls
