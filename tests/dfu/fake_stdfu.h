#pragma once
// A scripted DFU library and clock for the polling and memory-command tests. It models the
// boot loader's state machine just enough (DNLOAD -> sync -> busy -> download-idle, UPLOAD ->
// upload-idle, requests not allowed in a state stall into dfuERROR, set-address pointer, data
// blocks from block 2) and records every request and every sleep in one transcript. Failures are
// injected per request kind and call number; status answers can be scripted outright.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dfu/stdfu.h"
#include "platform/clock.h"

namespace kestrune::testing {

class FakeStdfu final : public StdfuLibrary, public Clock {
 public:
  static constexpr int kFail = -1;  // in a status script: the request fails

  std::uint8_t state = dfuIDLE;
  // When set, no request changes the state (a device that does not react).
  bool stuck = false;
  // When not empty, GETSTATUS answers from here (kFail: the request fails); the last entry
  // repeats. The state machine is then left alone.
  std::deque<int> statusScript;
  std::uint32_t now = 0;
  std::uint8_t alternate = 0;
  std::vector<std::string> log;

  // Makes calls `first`..`first + count - 1` (1-based) of request `kind` fail; with `stall` the
  // device also enters dfuERROR as a real one does. Kinds: getstatus, getstate, clrstatus, abort,
  // select, dnload, upload.
  void Fail(const std::string& kind, int first, int count = 1, bool stall = false);

  std::uint8_t Peek(std::uint32_t address) const;
  void Poke(std::uint32_t address, std::uint8_t value) { m_memory[address] = value; }

  // Transcript entries that begin with `prefix`.
  std::vector<std::string> Entries(const std::string& prefix) const;

  std::uint32_t STDFU_Open(const char*, DfuHandle* handle) override;
  std::uint32_t STDFU_Close(DfuHandle* handle) override;
  std::uint32_t STDFU_GetDeviceDescriptor(DfuHandle*, std::uint8_t*) override;
  std::uint32_t STDFU_GetDFUDescriptor(DfuHandle*, std::uint32_t*, std::uint32_t*,
                                       std::uint8_t*) override;
  std::uint32_t STDFU_GetInterfaceDescriptor(DfuHandle*, std::uint32_t, std::uint32_t,
                                             std::uint32_t, std::uint8_t*) override;
  std::uint32_t STDFU_GetStringDescriptor(DfuHandle*, std::uint32_t, char*, std::uint32_t) override;
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

  std::uint32_t TickCount() override { return now; }
  void Sleep(std::uint32_t ms) override;

  static DfuHandle Handle() { return reinterpret_cast<DfuHandle>(std::uintptr_t{0x5eed}); }

 private:
  struct Rule {
    std::set<int> calls;
    bool stall = false;
  };
  // Counts the call, logs `entry`; false when this call is to fail (a stall also sets dfuERROR).
  bool Request(const std::string& kind, const DfuHandle* handle, const std::string& entry);
  void SetState(std::uint8_t next);

  std::map<std::string, int> m_calls;
  std::map<std::string, Rule> m_rules;
  std::map<std::uint32_t, std::uint8_t> m_memory;
  std::uint32_t m_pointer = 0;
};

}  // namespace kestrune::testing
