#pragma once
// Wraps a DFU library for tests: passes every call through, counts opens and open connections,
// and makes the operations a test names fail.

#include <atomic>
#include <functional>

#include "dfu/stdfu.h"

namespace kestrune::testkit {

class WatchedStdfu final : public StdfuLibrary {
 public:
  explicit WatchedStdfu(StdfuLibrary& inner) : m_inner(inner) {}

  // Connections opened and not closed yet.
  int OpenConnections() const { return m_open.load(); }
  // Calls of STDFU_Open, failed ones included.
  int Opens() const { return m_opens.load(); }

  // Make these operations fail while set.
  std::atomic<bool> failOpen{false};
  std::atomic<bool> failDeviceDescriptor{false};
  std::atomic<bool> failDfuDescriptor{false};
  // Makes STDFU_SelectCurrentConfiguration of this alternate setting fail (-1: none).
  std::atomic<int> failSelectAlternate{-1};
  // Called before every STDFU_Dnload with its block number, length and first byte (0 if none).
  std::function<void(std::uint16_t block, std::uint32_t length, std::uint8_t first)> onDnload;

  std::uint32_t STDFU_Open(const char* path, DfuHandle* handle) override {
    ++m_opens;
    if (failOpen) return STDFU_ERROR;
    const std::uint32_t result = m_inner.STDFU_Open(path, handle);
    if (result == STDFU_NOERROR) ++m_open;
    return result;
  }
  std::uint32_t STDFU_Close(DfuHandle* handle) override {
    const std::uint32_t result = m_inner.STDFU_Close(handle);
    if (result == STDFU_NOERROR) --m_open;
    return result;
  }
  std::uint32_t STDFU_GetDeviceDescriptor(DfuHandle* h, std::uint8_t* d) override {
    return failDeviceDescriptor ? STDFU_ERROR : m_inner.STDFU_GetDeviceDescriptor(h, d);
  }
  std::uint32_t STDFU_GetDFUDescriptor(DfuHandle* h, std::uint32_t* i, std::uint32_t* a,
                                       std::uint8_t* d) override {
    return failDfuDescriptor ? STDFU_ERROR : m_inner.STDFU_GetDFUDescriptor(h, i, a, d);
  }
  std::uint32_t STDFU_GetInterfaceDescriptor(DfuHandle* h, std::uint32_t c, std::uint32_t i,
                                             std::uint32_t a, std::uint8_t* d) override {
    return m_inner.STDFU_GetInterfaceDescriptor(h, c, i, a, d);
  }
  std::uint32_t STDFU_GetStringDescriptor(DfuHandle* h, std::uint32_t i, char* b,
                                          std::uint32_t s) override {
    return m_inner.STDFU_GetStringDescriptor(h, i, b, s);
  }
  std::uint32_t STDFU_SelectCurrentConfiguration(DfuHandle* h, std::uint32_t c, std::uint32_t i,
                                                 std::uint32_t a) override {
    if (static_cast<int>(a) == failSelectAlternate) return STDFU_ERROR;
    return m_inner.STDFU_SelectCurrentConfiguration(h, c, i, a);
  }
  std::uint32_t STDFU_Dnload(DfuHandle* h, const std::uint8_t* b, std::uint32_t l,
                             std::uint16_t block) override {
    if (onDnload) onDnload(block, l, l > 0 ? b[0] : 0);
    return m_inner.STDFU_Dnload(h, b, l, block);
  }
  std::uint32_t STDFU_Upload(DfuHandle* h, std::uint8_t* b, std::uint32_t l, std::uint16_t block,
                             std::uint32_t* received) override {
    return m_inner.STDFU_Upload(h, b, l, block, received);
  }
  std::uint32_t STDFU_Getstatus(DfuHandle* h, DfuStatus* s) override {
    return m_inner.STDFU_Getstatus(h, s);
  }
  std::uint32_t STDFU_Getstate(DfuHandle* h, std::uint8_t* s) override {
    return m_inner.STDFU_Getstate(h, s);
  }
  std::uint32_t STDFU_Clrstatus(DfuHandle* h) override { return m_inner.STDFU_Clrstatus(h); }
  std::uint32_t STDFU_Abort(DfuHandle* h) override { return m_inner.STDFU_Abort(h); }

 private:
  StdfuLibrary& m_inner;
  std::atomic<int> m_open{0};
  std::atomic<int> m_opens{0};
};

}  // namespace kestrune::testkit
