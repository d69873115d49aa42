#pragma once
// The DFU library seam: the thirteen operations the program calls to talk to a device in its DFU
// boot loader. Implementations are chosen at run time (over USB requests to a real or simulated
// device). Every operation returns STDFU_NOERROR on success. Failures are STDFU_ERROR, except two
// that callers may tell apart: STDFU_ERROR_TIMEOUT (the device did not answer in time; it may
// still be there) and STDFU_ERROR_GONE (it left the bus; every later request on that handle
// fails the same way at once).
//
// A connection handle comes from STDFU_Open and is passed by pointer to every other operation.
// DfuConnection (dfu_connection.h) holds it for one connection and closes it on every path.
// One handle is used by one thread at a time; different handles may be used concurrently.

#include <cstdint>

namespace kestrune {

inline constexpr std::uint32_t STDFU_NOERROR = 0x12340000u;
// Returned by this program's own implementations for any other failure.
inline constexpr std::uint32_t STDFU_ERROR = 0x12340001u;
inline constexpr std::uint32_t STDFU_ERROR_TIMEOUT = 0x12340002u;
inline constexpr std::uint32_t STDFU_ERROR_GONE = 0x12340003u;

using DfuHandle = void*;

// GETSTATUS answer, six bytes as on the wire.
struct DfuStatus {
  std::uint8_t bStatus = 0;
  std::uint8_t bwPollTimeout[3] = {0, 0, 0};  // milliseconds, little-endian
  std::uint8_t bState = 0;
  std::uint8_t iString = 0;

  std::uint32_t PollTimeout() const {
    return bwPollTimeout[0] | (bwPollTimeout[1] << 8) | (bwPollTimeout[2] << 16);
  }
};

// DFU 1.1 states (bState).
enum DfuState : std::uint8_t {
  appIDLE = 0,
  appDETACH = 1,
  dfuIDLE = 2,
  dfuDNLOAD_SYNC = 3,
  dfuDNBUSY = 4,
  dfuDNLOAD_IDLE = 5,
  dfuMANIFEST_SYNC = 6,
  dfuMANIFEST = 7,
  dfuMANIFEST_WAIT_RESET = 8,
  dfuUPLOAD_IDLE = 9,
  dfuERROR = 10,
};

// DFU 1.1 status codes (bStatus).
enum DfuStatusCode : std::uint8_t {
  OK = 0x00,
  errTARGET = 0x01,
  errFILE = 0x02,
  errWRITE = 0x03,
  errERASE = 0x04,
  errCHECK_ERASED = 0x05,
  errPROG = 0x06,
  errVERIFY = 0x07,
  errADDRESS = 0x08,
  errNOTDONE = 0x09,
  errFIRMWARE = 0x0A,
  errVENDOR = 0x0B,
  errUSBR = 0x0C,
  errPOR = 0x0D,
  errUNKNOWN = 0x0E,
  errSTALLEDPKT = 0x0F,
};

class StdfuLibrary {
 public:
  virtual ~StdfuLibrary() = default;

  // Opens the device whose interface path is `path` (8-bit text). On success *handle is valid
  // until STDFU_Close. Fails when no such device is present or it cannot be opened.
  virtual std::uint32_t STDFU_Open(const char* path, DfuHandle* handle) = 0;
  // Releases the connection; *handle becomes null. Safe to call once after a successful open.
  virtual std::uint32_t STDFU_Close(DfuHandle* handle) = 0;
  // Fills the 18-byte standard USB device descriptor.
  virtual std::uint32_t STDFU_GetDeviceDescriptor(DfuHandle* handle,
                                                  std::uint8_t* descriptor18) = 0;
  // Fills the DFU interface number, its count of alternate settings and the 9-byte DFU functional
  // descriptor (bLength, bDescriptorType 0x21, bmAttributes, wDetachTimeOut, wTransferSize,
  // bcdDFUVersion; little-endian).
  virtual std::uint32_t STDFU_GetDFUDescriptor(DfuHandle* handle, std::uint32_t* dfuInterface,
                                               std::uint32_t* alternateCount,
                                               std::uint8_t* descriptor9) = 0;
  // Fills the 9-byte standard interface descriptor of (configuration, interface, alternate).
  virtual std::uint32_t STDFU_GetInterfaceDescriptor(DfuHandle* handle, std::uint32_t configuration,
                                                     std::uint32_t interfaceNumber,
                                                     std::uint32_t alternate,
                                                     std::uint8_t* descriptor9) = 0;
  // Fills `buffer` (capacity `size`, at least 1) with string descriptor `index` as 8-bit text,
  // always NUL-terminated within `size`.
  virtual std::uint32_t STDFU_GetStringDescriptor(DfuHandle* handle, std::uint32_t index,
                                                  char* buffer, std::uint32_t size) = 0;
  // Selects the alternate setting that later uploads and downloads address.
  virtual std::uint32_t STDFU_SelectCurrentConfiguration(DfuHandle* handle,
                                                         std::uint32_t configuration,
                                                         std::uint32_t interfaceNumber,
                                                         std::uint32_t alternate) = 0;
  // Sends DNLOAD with `block` (0: a DfuSe command; n >= 2: data) and `length` bytes (0..2048).
  // OK means the request was accepted; completion shows in the following GETSTATUS.
  virtual std::uint32_t STDFU_Dnload(DfuHandle* handle, const std::uint8_t* buffer,
                                     std::uint32_t length, std::uint16_t block) = 0;
  // Sends UPLOAD with `block` for `length` bytes (0..2048). With `received` null, a short answer
  // is a failure; otherwise a short answer is the upload's last frame, as DFU 1.1 has it, and
  // *received says how many bytes it carried (set on success only).
  virtual std::uint32_t STDFU_Upload(DfuHandle* handle, std::uint8_t* buffer, std::uint32_t length,
                                     std::uint16_t block, std::uint32_t* received) = 0;
  virtual std::uint32_t STDFU_Getstatus(DfuHandle* handle, DfuStatus* status) = 0;
  virtual std::uint32_t STDFU_Getstate(DfuHandle* handle, std::uint8_t* state) = 0;
  virtual std::uint32_t STDFU_Clrstatus(DfuHandle* handle) = 0;
  virtual std::uint32_t STDFU_Abort(DfuHandle* handle) = 0;
};

}  // namespace kestrune
