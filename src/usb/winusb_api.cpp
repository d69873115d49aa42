#include "usb/winusb_api.h"

namespace kestrune {

const WinUsbApi& RealWinUsbApi() {
  static const WinUsbApi api{
      ::SetupDiGetClassDevsA,
      ::SetupDiEnumDeviceInterfaces,
      ::SetupDiGetDeviceInterfaceDetailA,
      ::SetupDiDestroyDeviceInfoList,
      ::SetupDiEnumDeviceInfo,
      ::SetupDiGetDeviceRegistryPropertyA,
      ::SetupDiGetDeviceInstanceIdA,
      ::SetupDiOpenDevRegKey,
      ::RegQueryValueExA,
      ::RegCloseKey,
      ::CreateFileA,
      ::CloseHandle,
      ::WinUsb_Initialize,
      ::WinUsb_Free,
      ::WinUsb_ControlTransfer,
      ::WinUsb_SetCurrentAlternateSetting,
      ::WinUsb_GetDescriptor,
      ::WinUsb_SetPipePolicy,
      ::GetLastError,
  };
  return api;
}

}  // namespace kestrune
