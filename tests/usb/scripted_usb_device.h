#pragma once
// A USB device that answers control transfers from a table and records what it was asked, for
// testing the DFU library without a simulator. Requests without an answer stall.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "usb/usb_device.h"

namespace kestrune::testing {

struct UsbAnswer {
  UsbResult result = UsbResult::Ok;
  std::vector<std::uint8_t> bytes;  // sent for device-to-host requests, at most wLength of them
};

struct UsbRequestRecord {
  UsbSetup setup;
  std::vector<std::uint8_t> data;  // host-to-device data
  std::uint32_t tick = 0;          // the clock when it was asked
};

struct UsbScript {
  explicit UsbScript(Clock& c) : clock(c) {}
  Clock& clock;
  // Keyed by bmRequestType, bRequest, wValue.
  std::map<std::tuple<std::uint8_t, std::uint8_t, std::uint16_t>, UsbAnswer> answers;
  UsbResult alternateResult = UsbResult::Ok;
  std::vector<UsbRequestRecord> requests;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> alternates;  // SET_INTERFACE calls

  void Answer(std::uint8_t type, std::uint8_t request, std::uint16_t value, UsbAnswer answer) {
    answers[{type, request, value}] = std::move(answer);
  }
};

class ScriptedUsbDevice final : public UsbDevice {
 public:
  explicit ScriptedUsbDevice(std::shared_ptr<UsbScript> script) : m_script(std::move(script)) {}

  UsbTransfer ControlTransfer(const UsbSetup& setup, std::uint8_t* data, std::uint32_t) override {
    UsbRequestRecord record{setup, {}, m_script->clock.TickCount()};
    const bool in = (setup.bmRequestType & 0x80) != 0;
    if (!in) {
      record.data.assign(data, data + setup.wLength);
    }
    m_script->requests.push_back(record);
    const auto it = m_script->answers.find({setup.bmRequestType, setup.bRequest, setup.wValue});
    if (it == m_script->answers.end()) {
      return {UsbResult::Stall, 0};
    }
    if (it->second.result != UsbResult::Ok) {
      return {it->second.result, 0};
    }
    if (!in) {
      return {UsbResult::Ok, setup.wLength};
    }
    const auto length =
        static_cast<std::uint32_t>(std::min<std::size_t>(it->second.bytes.size(), setup.wLength));
    std::copy_n(it->second.bytes.begin(), length, data);
    return {UsbResult::Ok, length};
  }

  UsbResult SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternate) override {
    m_script->alternates.emplace_back(interfaceNumber, alternate);
    return m_script->alternateResult;
  }

 private:
  std::shared_ptr<UsbScript> m_script;
};

class ScriptedBackend final : public UsbBackend {
 public:
  std::map<std::string, std::shared_ptr<UsbScript>> devices;

  std::unique_ptr<UsbDevice> Open(const std::string& path) override {
    const auto it = devices.find(path);
    if (it == devices.end()) {
      return nullptr;
    }
    return std::make_unique<ScriptedUsbDevice>(it->second);
  }
};

}  // namespace kestrune::testing
