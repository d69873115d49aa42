#pragma once
// Ids of the main window's controls and of its commands that are not posted by the worker.

namespace kestrune {

inline constexpr int kIdOk = 1;      // "OK", also the Enter key
inline constexpr int kIdCancel = 2;  // "Abbrechen", also Escape and the close command

inline constexpr int kIdFirmwarePath = 1000;  // combo box with the path history
inline constexpr int kIdBrowse = 1001;
inline constexpr int kIdProgress = 1002;
inline constexpr int kIdTest = 1003;  // hidden for the whole life of the window

// "Geräte-Infos"
inline constexpr int kIdDeviceCount = 1004;
inline constexpr int kIdVendorId = 1005;
inline constexpr int kIdProductId = 1006;
inline constexpr int kIdDfuVersion = 1007;
inline constexpr int kIdDeviceBcd = 1008;
inline constexpr int kIdFlashSize = 1009;
inline constexpr int kIdUniqueId = 1010;

// "Firmware-Infos"
inline constexpr int kIdFirmwareKind = 1011;
inline constexpr int kIdFirmwareVersion = 1012;
inline constexpr int kIdFirmwareDate = 1013;
inline constexpr int kIdChecksum = 1014;
inline constexpr int kIdHardwareCode = 1015;
inline constexpr int kIdOsCpu = 1016;
inline constexpr int kIdFileSize = 1017;
inline constexpr int kFirmwareInfoFirstControl = kIdFirmwareKind;

inline constexpr int kIdStatusLine = 1018;

// The hidden "Einstellungen" group: filled and coloured, never shown.
inline constexpr int kIdSerialNumber = 1019;
inline constexpr int kIdMacA = 1020;
inline constexpr int kIdMacB = 1021;
inline constexpr int kIdAssignmentDate = 1022;

inline constexpr int kIdMacSetzen = 1024;

}  // namespace kestrune
