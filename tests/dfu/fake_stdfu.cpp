#include "dfu/fake_stdfu.h"

#include <cstdio>

namespace kestrune::testing {
namespace {

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

void FakeStdfu::Fail(const std::string& kind, int first, int count, bool stall) {
  Rule& rule = m_rules[kind];
  for (int call = first; call < first + count; ++call) {
    rule.calls.insert(call);
  }
  rule.stall = stall;
}

std::uint8_t FakeStdfu::Peek(std::uint32_t address) const {
  const auto it = m_memory.find(address);
  return it == m_memory.end() ? 0xFF : it->second;
}

std::vector<std::string> FakeStdfu::Entries(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const auto& entry : log) {
    if (entry.rfind(prefix, 0) == 0) {
      found.push_back(entry);
    }
  }
  return found;
}

void FakeStdfu::Sleep(std::uint32_t ms) {
  log.push_back("sleep " + std::to_string(ms));
  now += ms;
}

void FakeStdfu::SetState(std::uint8_t next) {
  if (!stuck) {
    state = next;
  }
}

bool FakeStdfu::Request(const std::string& kind, const DfuHandle* handle,
                        const std::string& entry) {
  log.push_back(entry);
  const int call = ++m_calls[kind];
  if (handle == nullptr || *handle != Handle()) {
    return false;
  }
  const auto rule = m_rules.find(kind);
  if (rule != m_rules.end() && rule->second.calls.count(call) != 0) {
    if (rule->second.stall) {
      SetState(dfuERROR);
    }
    return false;
  }
  return true;
}

std::uint32_t FakeStdfu::STDFU_Open(const char*, DfuHandle* handle) {
  *handle = Handle();
  return STDFU_NOERROR;
}

std::uint32_t FakeStdfu::STDFU_Close(DfuHandle* handle) {
  *handle = nullptr;
  return STDFU_NOERROR;
}

std::uint32_t FakeStdfu::STDFU_GetDeviceDescriptor(DfuHandle*, std::uint8_t*) {
  return STDFU_ERROR;
}
std::uint32_t FakeStdfu::STDFU_GetDFUDescriptor(DfuHandle*, std::uint32_t*, std::uint32_t*,
                                                std::uint8_t*) {
  return STDFU_ERROR;
}
std::uint32_t FakeStdfu::STDFU_GetInterfaceDescriptor(DfuHandle*, std::uint32_t, std::uint32_t,
                                                      std::uint32_t, std::uint8_t*) {
  return STDFU_ERROR;
}
std::uint32_t FakeStdfu::STDFU_GetStringDescriptor(DfuHandle*, std::uint32_t, char*,
                                                   std::uint32_t) {
  return STDFU_ERROR;
}

std::uint32_t FakeStdfu::STDFU_SelectCurrentConfiguration(DfuHandle* handle,
                                                          std::uint32_t configuration,
                                                          std::uint32_t interfaceNumber,
                                                          std::uint32_t alt) {
  if (!Request("select", handle,
               "select " + std::to_string(configuration) + " " + std::to_string(interfaceNumber) +
                   " " + std::to_string(alt))) {
    return STDFU_ERROR;
  }
  alternate = static_cast<std::uint8_t>(alt);
  return STDFU_NOERROR;
}

std::uint32_t FakeStdfu::STDFU_Dnload(DfuHandle* handle, const std::uint8_t* buffer,
                                      std::uint32_t length, std::uint16_t block) {
  std::string entry = "dnload " + std::to_string(block) + " " + std::to_string(length);
  if (block == 0 && length == 5) {
    entry += " cmd " + std::to_string(buffer[0]) + " " +
             Hex32(buffer[1] | buffer[2] << 8 | buffer[3] << 16 |
                   static_cast<std::uint32_t>(buffer[4]) << 24);
  }
  if (!Request("dnload", handle, entry)) {
    return STDFU_ERROR;
  }
  if (state != dfuIDLE && state != dfuDNLOAD_IDLE) {
    SetState(dfuERROR);
    return STDFU_ERROR;
  }
  if (block == 0 && length == 5 && buffer[0] == 0x21 && !stuck) {
    m_pointer =
        buffer[1] | buffer[2] << 8 | buffer[3] << 16 | static_cast<std::uint32_t>(buffer[4]) << 24;
  } else if (block >= 2 && !stuck) {
    for (std::uint32_t i = 0; i < length; ++i) {
      m_memory[m_pointer + (block - 2u) * 2048u + i] = buffer[i];
    }
  }
  SetState(dfuDNLOAD_SYNC);
  return STDFU_NOERROR;
}

std::uint32_t FakeStdfu::STDFU_Upload(DfuHandle* handle, std::uint8_t* buffer, std::uint32_t length,
                                      std::uint16_t block, std::uint32_t* received) {
  if (!Request("upload", handle,
               "upload " + std::to_string(block) + " " + std::to_string(length))) {
    return STDFU_ERROR;
  }
  if (state != dfuIDLE && state != dfuUPLOAD_IDLE) {
    SetState(dfuERROR);
    return STDFU_ERROR;
  }
  for (std::uint32_t i = 0; i < length; ++i) {
    buffer[i] = Peek(m_pointer + (block - 2u) * 2048u + i);
  }
  if (received != nullptr) *received = length;
  SetState(dfuUPLOAD_IDLE);
  return STDFU_NOERROR;
}

std::uint32_t FakeStdfu::STDFU_Getstatus(DfuHandle* handle, DfuStatus* status) {
  if (!Request("getstatus", handle, "getstatus")) {
    return STDFU_ERROR;
  }
  if (!statusScript.empty()) {
    const int answer = statusScript.front();
    if (statusScript.size() > 1) {
      statusScript.pop_front();
    }
    if (answer == kFail) {
      return STDFU_ERROR;
    }
    status->bState = static_cast<std::uint8_t>(answer);
    return STDFU_NOERROR;
  }
  if (state == dfuDNLOAD_SYNC) {
    SetState(dfuDNBUSY);
  } else if (state == dfuDNBUSY) {
    SetState(dfuDNLOAD_IDLE);
  }
  status->bState = state;
  return STDFU_NOERROR;
}

std::uint32_t FakeStdfu::STDFU_Getstate(DfuHandle* handle, std::uint8_t* out) {
  if (!Request("getstate", handle, "getstate")) {
    return STDFU_ERROR;
  }
  *out = state;
  return STDFU_NOERROR;
}

std::uint32_t FakeStdfu::STDFU_Clrstatus(DfuHandle* handle) {
  if (!Request("clrstatus", handle, "clrstatus")) {
    return STDFU_ERROR;
  }
  if (!statusScript.empty()) {
    return STDFU_NOERROR;
  }
  if (state != dfuERROR) {
    SetState(dfuERROR);
    return STDFU_ERROR;
  }
  SetState(dfuIDLE);
  return STDFU_NOERROR;
}

std::uint32_t FakeStdfu::STDFU_Abort(DfuHandle* handle) {
  if (!Request("abort", handle, "abort")) {
    return STDFU_ERROR;
  }
  switch (state) {
    case dfuIDLE:
    case dfuDNLOAD_SYNC:
    case dfuDNLOAD_IDLE:
    case dfuMANIFEST_SYNC:
    case dfuUPLOAD_IDLE:
      SetState(dfuIDLE);
      return STDFU_NOERROR;
    default:
      SetState(dfuERROR);
      return STDFU_ERROR;
  }
}

}  // namespace kestrune::testing
