#include "hostile_device.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "device/enumerate.h"
#include "fuzz_support.h"
#include "job/download_log.h"
#include "job/programming_job.h"
#include "serials/identity_assignment.h"
#include "serials/identity_write.h"
#include "sim/sim_bench.h"
#include "testkit/watched_stdfu.h"
#include "usb/usb_stdfu.h"

namespace kestrune::fuzz {
namespace {

constexpr std::uint8_t kUnavailable = 0xFF;
constexpr std::uint8_t kResultMask = 0x07;
constexpr std::uint8_t kShortAnswer = 0x08;

UsbResult ResultOf(std::uint8_t code) {
  switch (code & kResultMask) {
    case 4:
      return UsbResult::Stall;
    case 5:
      return UsbResult::Timeout;
    case 6:
      return UsbResult::NoDevice;
    case 7:
      return UsbResult::Error;
    default:
      return UsbResult::Ok;
  }
}

std::uint8_t CodeOf(UsbResult result) {
  switch (result) {
    case UsbResult::Ok:
      return 0;
    case UsbResult::Stall:
      return 4;
    case UsbResult::Timeout:
      return 5;
    case UsbResult::NoDevice:
      return 6;
    case UsbResult::Error:
      return 7;
  }
  return 7;
}

bool DeviceToHost(const UsbSetup& setup) {
  return (setup.bmRequestType & 0x80) != 0;
}

class HostileDevice final : public UsbDevice {
 public:
  explicit HostileDevice(HostileBench& bench) : m_bench(bench) {}

  UsbTransfer ControlTransfer(const UsbSetup& setup, std::uint8_t* data, std::uint32_t) override {
    if (m_bench.Exhausted()) return {UsbResult::NoDevice, 0};
    const std::uint8_t code = m_bench.Byte();
    const UsbResult result = ResultOf(code);
    if (result != UsbResult::Ok) return {result, 0};
    if (!DeviceToHost(setup)) {
      m_bench.NoteRequest(setup, data, setup.wLength);
      return {UsbResult::Ok, setup.wLength};
    }
    std::uint32_t length = setup.wLength;
    if ((code & kShortAnswer) != 0) {
      const std::uint32_t low = m_bench.Byte();
      length = std::min<std::uint32_t>(length, low | m_bench.Byte() << 8);
    }
    m_bench.Fill(data, length);
    m_bench.NoteRequest(setup, data, length);
    return {UsbResult::Ok, length};
  }

  UsbResult SetAlternateSetting(std::uint8_t, std::uint8_t) override {
    if (m_bench.Exhausted()) return UsbResult::NoDevice;
    return ResultOf(m_bench.Byte());
  }

 private:
  HostileBench& m_bench;
};

class RecordedDevice final : public UsbDevice {
 public:
  RecordedDevice(std::unique_ptr<UsbDevice> inner, std::vector<std::uint8_t>& answers)
      : m_inner(std::move(inner)), m_answers(answers) {}

  UsbTransfer ControlTransfer(const UsbSetup& setup, std::uint8_t* data,
                              std::uint32_t timeoutMs) override {
    const UsbTransfer transfer = m_inner->ControlTransfer(setup, data, timeoutMs);
    std::uint8_t code = CodeOf(transfer.result);
    if (transfer.result != UsbResult::Ok || !DeviceToHost(setup)) {
      m_answers.push_back(code);
      return transfer;
    }
    if (transfer.length == setup.wLength) {
      m_answers.push_back(code);
    } else {
      m_answers.push_back(code | kShortAnswer);
      m_answers.push_back(static_cast<std::uint8_t>(transfer.length));
      m_answers.push_back(static_cast<std::uint8_t>(transfer.length >> 8));
    }
    m_answers.insert(m_answers.end(), data, data + transfer.length);
    return transfer;
  }

  UsbResult SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternate) override {
    const UsbResult result = m_inner->SetAlternateSetting(interfaceNumber, alternate);
    m_answers.push_back(CodeOf(result));
    return result;
  }

 private:
  std::unique_ptr<UsbDevice> m_inner;
  std::vector<std::uint8_t>& m_answers;
};

// Takes every event at once and answers every error and warning box with OK.
class QuietHost final : public RunEvents {
 public:
  explicit QuietHost(JobDevice device) : m_device(std::move(device)) {}
  void Status(const std::string&) override { NotFinished(); }
  void PhaseStarted(RunPhase, std::uint32_t) override { NotFinished(); }
  void Progress(std::uint32_t) override { NotFinished(); }
  void Failed(const std::string&) override { NotFinished(); }
  void Aborted() override { NotFinished(); }
  void Succeeded() override { NotFinished(); }
  void Warning(const std::string&) override { NotFinished(); }
  void AwaitingDevice() override { NotFinished(); }
  JobDevice CurrentDevice() override { return m_device; }
  void Finished(const RunResult& result) override {
    NotFinished();
    m_finished = true;
    m_outcome = result.outcome;
  }
  bool HasFinished() const { return m_finished; }
  RunOutcome Outcome() const { return m_outcome; }
  RunControl control;

 private:
  void NotFinished() const { fuzz::Require(!m_finished, "no event after Finished"); }
  JobDevice m_device;
  bool m_finished = false;
  RunOutcome m_outcome = RunOutcome::None;
};

}  // namespace

void HostileBench::Fill(std::uint8_t* out, std::size_t length) {
  const std::size_t available =
      std::min(length, m_answers.size() - std::min(m_next, m_answers.size()));
  std::copy_n(m_answers.data() + m_next, available, out);
  std::fill(out + available, out + length, 0);
  m_next += available;
}

void HostileBench::NoteRequest(const UsbSetup& setup, const std::uint8_t* data,
                               std::uint32_t length) {
  constexpr std::uint8_t kDnload = 1;
  constexpr std::uint8_t kUpload = 2;
  constexpr std::uint8_t kSetAddress = 0x21;
  constexpr std::uint16_t kFirstDataBlock = 2;
  if (setup.bRequest == kDnload && !DeviceToHost(setup) && setup.wValue == 0 && length == 5 &&
      data[0] == kSetAddress) {
    m_pointer = data[1] | data[2] << 8 | data[3] << 16 | static_cast<std::uint32_t>(data[4]) << 24;
    return;
  }
  if (setup.wValue < kFirstDataBlock) return;
  const std::uint32_t start =
      m_pointer + static_cast<std::uint32_t>(setup.wValue - kFirstDataBlock) * setup.wLength;
  if (setup.bRequest == kUpload && DeviceToHost(setup)) {
    m_uploads.emplace_back(start, std::vector<std::uint8_t>(data, data + length));
  } else if (setup.bRequest == kDnload && !DeviceToHost(setup)) {
    m_downloads.emplace_back(start, length);
  }
}

std::optional<std::uint8_t> HostileBench::LastUploadedAt(std::uint32_t address) const {
  for (auto it = m_uploads.rbegin(); it != m_uploads.rend(); ++it) {
    const std::uint32_t offset = address - it->first;
    if (offset < it->second.size()) return it->second[offset];
  }
  return std::nullopt;
}

std::unique_ptr<UsbDevice> HostileBench::Open(const std::string&) {
  if (Exhausted() || Byte() == kUnavailable) return nullptr;
  return std::make_unique<HostileDevice>(*this);
}

std::optional<std::vector<std::string>> HostileBench::PresentInterfaces(
    const Guid& interfaceClass) {
  const std::uint8_t code = Byte();
  if (code == kUnavailable) return std::nullopt;
  std::vector<std::string> paths;
  for (int i = 0; i < code % 4; ++i) {
    paths.push_back(SimDevicePath(0x0483, 0xDF11, "hostile" + std::to_string(i), interfaceClass));
  }
  return paths;
}

std::unique_ptr<UsbDevice> AnswerRecorder::Open(const std::string& path) {
  std::unique_ptr<UsbDevice> device = m_backend.Open(path);
  answers.push_back(device ? 0 : kUnavailable);
  if (!device) return nullptr;
  return std::make_unique<RecordedDevice>(std::move(device), answers);
}

std::optional<std::vector<std::string>> AnswerRecorder::PresentInterfaces(
    const Guid& interfaceClass) {
  const auto paths = m_bus.PresentInterfaces(interfaceClass);
  answers.push_back(paths ? static_cast<std::uint8_t>(paths->size() % 4) : kUnavailable);
  return paths;
}

namespace {

// Runs the programming job as the dialog's "OK" button does.
bool Program(StdfuLibrary& dfu, Clock& clock, JobInputs inputs) {
  const std::filesystem::path log = std::filesystem::path(inputs.infosFolder) / kDownloadLogName;
  std::error_code ignored;
  std::filesystem::remove(log, ignored);  // the log of an earlier run proves nothing
  QuietHost host(inputs.device);
  ProgrammingJob(host, host.control, dfu, clock, inputs);
  Require(host.HasFinished(), "a run ends with Finished");
  const bool succeeded = host.Outcome() == RunOutcome::Succeeded;
  Require(std::filesystem::exists(log, ignored) == succeeded,
          "a run is logged exactly when it succeeded");
  return succeeded;
}

}  // namespace

HostOutcome OperateDevice(UsbBackend& backend, DeviceBus& bus, Clock& clock,
                          const std::string& firmwarePath, const std::string& infosFolder) {
  UsbStdfuLibrary usb(backend, clock);
  testkit::WatchedStdfu dfu(usb);
  Discovery found = Enumerate(dfu, bus, clock);
  Require(dfu.OpenConnections() == 0, "discovery closes the device");
  HostOutcome outcome;
  // The dialog's "OK" button wants exactly one device that passed every check.
  if (found.deviceCount == 1 && found.deviceError == 0 && found.memoryMap) {
    for (const MemorySegment& segment : found.memoryMap->segments) {
      if (!segment.sectors.empty() && segment.sectors.front().attribute == kWritableAttribute) {
        outcome.flashStart = segment.sectors.front().startAddress;
        break;
      }
    }
    JobInputs inputs;
    inputs.firmwarePath = firmwarePath;
    inputs.device = {found.deviceCount, found.devicePath, found.flashSize.value_or(0),
                     std::shared_ptr<const MemoryMap>(std::move(found.memoryMap))};
    inputs.hardwareId = found.hardwareId.value_or("");
    inputs.deviceKind = "KST-F4";
    inputs.firmwareVersion = "2.4.1";
    inputs.firmwareDate = "Dec 10 2026";
    inputs.infosFolder = infosFolder;
    outcome.programmed = Program(dfu, clock, inputs);
    Require(dfu.OpenConnections() == 0, "a run closes the device");
  }

  if (found.devicePath.empty() || found.identityState == IdentityState::NotRead || !found.otpImage) {
    return outcome;
  }
  outcome.identity = EncodeIdentity({.macA = {0x02, 0x4B, 0x53, 0x00, 0x00, 0x02},
                                     .assignmentTime = 1765360000,
                                     .serialNumber = 100001,
                                     .hasSecondMac = true});
  const OtpTarget target = ChooseOtpBlock(*found.otpImage, outcome.identity);
  if (target.choice != OtpBlockChoice::Write) return outcome;
  outcome.identityBlock = target.target;
  DfuSession session{.dfu = dfu, .clock = clock, .postProgress = {}};
  outcome.identityWritten = WriteIdentityBlock(session, found.devicePath, target.target,
                                               outcome.identity) == IdentityWriteOutcome::Written;
  Require(dfu.OpenConnections() == 0, "the identity write closes the device");
  return outcome;
}

}  // namespace kestrune::fuzz
