#pragma once
// A DFU library whose every operation fails: fakes derive from it and answer only what their
// test is about.

#include "dfu/stdfu.h"

namespace kestrune::testkit {

class FailingStdfu : public StdfuLibrary {
 public:
  std::uint32_t STDFU_Open(const char*, DfuHandle*) override { return STDFU_ERROR; }
  std::uint32_t STDFU_Close(DfuHandle*) override { return STDFU_ERROR; }
  std::uint32_t STDFU_GetDeviceDescriptor(DfuHandle*, std::uint8_t*) override {
    return STDFU_ERROR;
  }
  std::uint32_t STDFU_GetDFUDescriptor(DfuHandle*, std::uint32_t*, std::uint32_t*,
                                       std::uint8_t*) override {
    return STDFU_ERROR;
  }
  std::uint32_t STDFU_GetInterfaceDescriptor(DfuHandle*, std::uint32_t, std::uint32_t,
                                             std::uint32_t, std::uint8_t*) override {
    return STDFU_ERROR;
  }
  std::uint32_t STDFU_GetStringDescriptor(DfuHandle*, std::uint32_t, char*,
                                          std::uint32_t) override {
    return STDFU_ERROR;
  }
  std::uint32_t STDFU_SelectCurrentConfiguration(DfuHandle*, std::uint32_t, std::uint32_t,
                                                 std::uint32_t) override {
    return STDFU_ERROR;
  }
  std::uint32_t STDFU_Dnload(DfuHandle*, const std::uint8_t*, std::uint32_t,
                             std::uint16_t) override {
    return STDFU_ERROR;
  }
  std::uint32_t STDFU_Upload(DfuHandle*, std::uint8_t*, std::uint32_t, std::uint16_t,
                             std::uint32_t*) override {
    return STDFU_ERROR;
  }
  std::uint32_t STDFU_Getstatus(DfuHandle*, DfuStatus*) override { return STDFU_ERROR; }
  std::uint32_t STDFU_Getstate(DfuHandle*, std::uint8_t*) override { return STDFU_ERROR; }
  std::uint32_t STDFU_Clrstatus(DfuHandle*) override { return STDFU_ERROR; }
  std::uint32_t STDFU_Abort(DfuHandle*) override { return STDFU_ERROR; }
};

}  // namespace kestrune::testkit
