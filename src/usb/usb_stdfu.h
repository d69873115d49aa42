#pragma once
// The DFU library over USB control transfers: the thirteen STDFU operations spoken to a device
// that a UsbBackend opens by its interface path (a real transport or the simulated boot loader).
//
// Handles are connection objects owned by the library; the opaque DfuHandle is a key that is
// never dereferenced, so a null, closed or made-up handle fails with STDFU_ERROR. Everything a
// device sends (descriptors, strings, status) is untrusted and parsed within bounds.
//
// After a GETSTATUS that reports dfuDNBUSY, the next request on that connection waits for the
// bwPollTimeout the device asked for (capped), as DFU hosts must: the device is busy with flash
// work until then. Waits use the clock given here.
//
// A transfer that times out fails with STDFU_ERROR_TIMEOUT; once a transfer found the device gone
// from the bus, every operation on that handle fails with STDFU_ERROR_GONE without a transfer.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "dfu/stdfu.h"
#include "platform/clock.h"
#include "usb/usb_device.h"

namespace kestrune {

struct UsbStdfuSettings {
  // Time-out of one control transfer.
  std::uint32_t requestTimeoutMs = 5000;
  // Time-out of GETSTATUS: a boot loader may hold its answer until flash work is done, and the
  // longest sector erase takes 4 s (128 KiB at x8 parallelism); half as much again for margin.
  std::uint32_t statusTimeoutMs = 6000;
  // Upper bound on a device's bwPollTimeout; the field is 24 bits wide and untrusted.
  std::uint32_t maxPollWaitMs = 10000;
};

class UsbStdfuLibrary final : public StdfuLibrary {
 public:
  UsbStdfuLibrary(UsbBackend& backend, Clock& clock, UsbStdfuSettings settings = {});
  ~UsbStdfuLibrary() override;

  std::uint32_t STDFU_Open(const char* path, DfuHandle* handle) override;
  std::uint32_t STDFU_Close(DfuHandle* handle) override;
  std::uint32_t STDFU_GetDeviceDescriptor(DfuHandle* handle, std::uint8_t* descriptor18) override;
  std::uint32_t STDFU_GetDFUDescriptor(DfuHandle* handle, std::uint32_t* dfuInterface,
                                       std::uint32_t* alternateCount,
                                       std::uint8_t* descriptor9) override;
  std::uint32_t STDFU_GetInterfaceDescriptor(DfuHandle* handle, std::uint32_t configuration,
                                             std::uint32_t interfaceNumber, std::uint32_t alternate,
                                             std::uint8_t* descriptor9) override;
  std::uint32_t STDFU_GetStringDescriptor(DfuHandle* handle, std::uint32_t index, char* buffer,
                                          std::uint32_t size) override;
  std::uint32_t STDFU_SelectCurrentConfiguration(DfuHandle* handle, std::uint32_t configuration,
                                                 std::uint32_t interfaceNumber,
                                                 std::uint32_t alternate) override;
  std::uint32_t STDFU_Dnload(DfuHandle* handle, const std::uint8_t* buffer, std::uint32_t length,
                             std::uint16_t block) override;
  std::uint32_t STDFU_Upload(DfuHandle* handle, std::uint8_t* buffer, std::uint32_t length,
                             std::uint16_t block, std::uint32_t* received) override;
  std::uint32_t STDFU_Getstatus(DfuHandle* handle, DfuStatus* status) override;
  std::uint32_t STDFU_Getstate(DfuHandle* handle, std::uint8_t* state) override;
  std::uint32_t STDFU_Clrstatus(DfuHandle* handle) override;
  std::uint32_t STDFU_Abort(DfuHandle* handle) override;

 private:
  class Connection;
  Connection* Find(const DfuHandle* handle);

  UsbBackend& m_backend;
  Clock& m_clock;
  UsbStdfuSettings m_settings;
  std::mutex m_mutex;  // guards the table; each connection is used by one thread at a time
  std::map<std::uintptr_t, std::unique_ptr<Connection>> m_connections;
  std::uintptr_t m_nextKey = 1;
};

}  // namespace kestrune
