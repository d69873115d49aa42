#pragma once
// The Windows functions that the USB transport and the device bus call, gathered in a table of
// pointers: the program uses the real ones, tests put a fake device stack in their place.

#include <windows.h>
// After windows.h, which they build on.
#include <setupapi.h>
#include <winusb.h>

namespace kestrune {

struct WinUsbApi {
  decltype(&::SetupDiGetClassDevsA) SetupDiGetClassDevsA;
  decltype(&::SetupDiEnumDeviceInterfaces) SetupDiEnumDeviceInterfaces;
  decltype(&::SetupDiGetDeviceInterfaceDetailA) SetupDiGetDeviceInterfaceDetailA;
  decltype(&::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList;
  decltype(&::SetupDiEnumDeviceInfo) SetupDiEnumDeviceInfo;
  decltype(&::SetupDiGetDeviceRegistryPropertyA) SetupDiGetDeviceRegistryPropertyA;
  decltype(&::SetupDiGetDeviceInstanceIdA) SetupDiGetDeviceInstanceIdA;
  decltype(&::SetupDiOpenDevRegKey) SetupDiOpenDevRegKey;
  decltype(&::RegQueryValueExA) RegQueryValueExA;
  decltype(&::RegCloseKey) RegCloseKey;
  decltype(&::CreateFileA) CreateFileA;
  decltype(&::CloseHandle) CloseHandle;
  decltype(&::WinUsb_Initialize) WinUsb_Initialize;
  decltype(&::WinUsb_Free) WinUsb_Free;
  decltype(&::WinUsb_ControlTransfer) WinUsb_ControlTransfer;
  decltype(&::WinUsb_SetCurrentAlternateSetting) WinUsb_SetCurrentAlternateSetting;
  decltype(&::WinUsb_GetDescriptor) WinUsb_GetDescriptor;
  decltype(&::WinUsb_SetPipePolicy) WinUsb_SetPipePolicy;
  decltype(&::GetLastError) GetLastError;
};

const WinUsbApi& RealWinUsbApi();

}  // namespace kestrune
