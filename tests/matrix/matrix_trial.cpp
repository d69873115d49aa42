#include "matrix_trial.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "app/mac_setzen.h"
#include "app/window_identity_operator.h"
#include "device/enumerate.h"
#include "device/unique_id_text.h"
#include "dfu/option_bits.h"
#include "job/programming_job.h"
#include "serials/mac_range.h"
#include "sim/sim_bench.h"
#include "testkit/recording_run_events.h"
#include "testkit/recording_window.h"
#include "testkit/temp_folder.h"
#include "testkit/watched_stdfu.h"
#include "usb/usb_stdfu.h"

namespace kestrune::matrix {
namespace {

using Event = testkit::RecordedRunEvent;

constexpr std::uint32_t kFirmwareSize = 5000;  // three data blocks, the last one partial
constexpr std::uint32_t kFirstSector = 16384;  // the one sector the image needs
constexpr OptionBits kWantedOptions = {0xE3, 0xAA, 0xFF, 0x3F};
// Every wait of the host is bounded: time-outs of a few seconds per request, 7 s for the device
// to register anew. A trial that needs more than this is stuck in a loop that only time ends.
constexpr std::uint32_t kHangBoundMs = 120000;

SimDeviceConfig Device(std::uint32_t flashKiB, std::array<std::uint8_t, 4> options) {
  SimDeviceConfig config = DefaultSimDevice("");
  config.flashKiB = flashKiB;
  config.optionBytes =
      WithOptionComplements({options[0], options[1], 0, 0, 0, 0, 0, 0, options[2], options[3]});
  return config;
}

// A device that received its identity in block 1 at an earlier bench.
SimDeviceConfig DeviceWithIdentity() {
  SimDeviceConfig config = Device(1024, {0xE3, 0xAA, 0xFF, 0x3F});
  const std::uint8_t identity[16] = {0xAC, 0xDE, 0x48, 0x12, 0x34, 0x56, 0x7A, 0x85,
                                     0x00, 0xE1, 0xF5, 0x5E, 0x2A, 0x00, 0x00, 0x80};
  std::copy(std::begin(identity), std::end(identity), config.otp.begin() + kOtpBlockSize);
  return config;
}

// A device with factory option bytes that registers anew differently after their write.
SimDeviceConfig Returning(const std::string& instance, bool inDfu) {
  SimDeviceConfig config = Device(1024, {0xEF, 0xAA, 0xFF, 0x0F});
  config.returnInstance = instance;
  config.returnInDfu = inDfu;
  return config;
}

SimDeviceConfig Withholding() {
  SimDeviceConfig config = Device(1024, {0xE3, 0xAA, 0xFF, 0x3F});
  config.strictness.uniqueIdReadable = false;
  return config;
}

// Datasheet timing with every 128 KiB erase at the longest the datasheet allows.
SimDeviceConfig SlowErase() {
  SimDeviceConfig config = Device(1024, {0xEF, 0xAA, 0xFF, 0x0F});
  config.timing = DatasheetTiming();
  config.timing.erase16KMs = 800;
  config.timing.erase128KMs = 4000;
  return config;
}

// The kinder simulator of old, one scenario each.
SimDeviceConfig Lenient(SimDeviceConfig config) {
  config.strictness = LenientStrictness();
  return config;
}

// The firmware file and the Infos folder, shared by all trials (one at a time).
struct Files {
  testkit::TempFolder folder;
  std::string firmware = folder.File("fw.bin");
  std::string infos = folder.File("Infos");
  std::string log = folder.File("Infos/DownloadList.csv");
  std::vector<std::uint8_t> image;

  Files() {
    image.resize(kFirmwareSize);
    for (std::uint32_t i = 0; i < kFirmwareSize; ++i) {
      image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 11));
    }
    testkit::WriteFileBytes(firmware, image);
  }
};

Files& SharedFiles() {
  static Files files;
  return files;
}

std::vector<std::string> LogLines(const std::string& path) {
  std::vector<std::string> lines;
  if (!std::filesystem::exists(path)) return lines;
  const std::vector<std::uint8_t> bytes = testkit::ReadFileBytes(path);
  std::string line;
  for (std::uint8_t b : bytes) {
    if (b == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // The header line that starts a new file records no run.
      if (!line.empty() && line.rfind("<Zeit>", 0) != 0) lines.push_back(line);
      line.clear();
    } else {
      line += static_cast<char>(b);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The block "MAC setzen" must write: the one after the last used block of the device itself.
std::uint32_t ExpectedOtpTarget(const std::vector<std::uint8_t>& otp) {
  std::uint32_t last = kOtpBlockCount - 1;
  auto empty = [&otp](std::uint32_t block) {
    return std::all_of(otp.begin() + block * kOtpBlockSize,
                       otp.begin() + (block + 1) * kOtpBlockSize,
                       [](std::uint8_t b) { return b == 0xFF; });
  };
  while (last > 0 && empty(last)) --last;
  return last + 1;
}

class Trial {
 public:
  Trial(const Scenario& scenario, const std::vector<SimFault>& faults)
      : m_scenario(scenario), m_files(SharedFiles()) {
    SimDeviceConfig config = scenario.device;
    config.faults.insert(config.faults.end(), faults.begin(), faults.end());
    const SimAddResult added = m_bench.AddDevice(config);
    if (added.device) Hold(scenario.held);
    m_uniqueIdText = UniqueIdText(config.uniqueId.data());
    m_otpBefore = Otp();
    // The window hears removals from the bus.
    m_bench.SetListener([this](DeviceEvent event, const std::string&) {
      if (event == DeviceEvent::Removal) m_host.control.m_deviceRemoved = 1;
    });
    std::filesystem::remove(m_files.log);
    if (!added.device) Add(Violation::UncleanEnd, "device not made: " + added.error);
  }

  TrialResult Run() {
    const std::uint32_t start = m_clock.TickCount();
    const Discovery found = Discover();
    m_result.started = found.deviceCount == 1;
    if (m_result.started) {
      if (m_scenario.work == Work::Program) {
        Program(found);
      } else {
        SetIdentity(found);
      }
    }
    m_result.virtualMs = m_clock.TickCount() - start;
    CheckCommon();
    m_result.requests = m_bench.RequestCounts(0);
    return m_result;
  }

 private:
  void Add(Violation violation, const std::string& detail) {
    m_result.violations.emplace_back(violation, detail);
  }
  std::vector<std::uint8_t> Otp() const {
    return m_bench.Peek(0, kOtpAlternate, kOtpAddress, kOtpBlockCount * kOtpBlockSize);
  }

  // A plain run leaves the image and erased flash behind it in the sector.
  std::vector<std::uint8_t> PlainResult() const {
    std::vector<std::uint8_t> flash(kFirstSector, 0xFF);
    std::copy(m_files.image.begin(), m_files.image.end(), flash.begin());
    return flash;
  }

  void Hold(Held held) {
    std::vector<std::uint8_t> flash = PlainResult();
    switch (held) {
      case Held::Blank:
        return;
      case Held::Image:
        break;
      case Held::ImageAndDataBehind:
        flash.back() = 0x00;
        break;
      case Held::OtherImage:
        for (std::uint8_t& byte : flash) byte = static_cast<std::uint8_t>(~byte);
        break;
    }
    if (!m_bench.ProgramFlash(0, 0x08000000, flash)) {
      Add(Violation::UncleanEnd, "the device refused the flash it should hold");
    }
  }

  Discovery Discover() { return Enumerate(m_dfu, m_bench, m_clock); }

  // The window's side of a run: its device data from discovery, and discovery again on
  // AwaitingDevice while the device is gone or not found again.
  void Program(const Discovery& found) {
    JobInputs inputs;
    inputs.firmwarePath = m_files.firmware;
    inputs.device = {found.deviceCount, found.devicePath, found.flashSize.value_or(0),
                     std::shared_ptr<const MemoryMap>(
                         found.memoryMap ? new MemoryMap(*found.memoryMap) : nullptr)};
    inputs.hardwareId = found.hardwareId.value_or("");
    inputs.deviceKind = "KST-4 Steuerung";
    inputs.firmwareVersion = "V2.10";
    inputs.firmwareDate = "12.11.2026";
    inputs.infosFolder = m_files.infos;
    inputs.unprotect = m_scenario.unprotect;
    inputs.skipUnchanged = m_scenario.skipUnchanged;
    m_current = inputs.device;
    m_host.currentDevice = [this] { return m_current; };
    m_host.onEvent = [this](const Event& event) {
      if (event.kind != Event::AwaitingDevice) return;
      if (m_host.control.m_deviceRemoved == 0 && m_current.deviceCount != 0) return;
      Discovery again = Discover();
      m_current.deviceCount = again.deviceCount;
      m_current.devicePath = again.devicePath;
      if (again.flashSize) m_current.flashSize = *again.flashSize;
      m_current.memoryMap = std::shared_ptr<const MemoryMap>(std::move(again.memoryMap));
      m_host.control.m_deviceRemoved = 0;
    };
    ProgrammingJob(m_host, m_host.control, m_dfu, m_clock, inputs);
    m_result.succeeded = m_host.Outcome() == RunOutcome::Succeeded;

    const std::vector<Event> events = m_host.Events();
    if (events.empty() || events.back().kind != Event::Finished ||
        m_host.Count(Event::Finished) != 1) {
      Add(Violation::UncleanEnd, "Finished is not once and last");
    }
    if (m_host.Errors().size() > 1) Add(Violation::UncleanEnd, "more than one error box");
    for (const Event& event : events) {
      if (event.kind == Event::Failed && event.openConnections != 0) {
        Add(Violation::UncleanEnd, "connection open under the box \"" + event.text + "\"");
      }
    }
    if (!m_result.succeeded) return;
    // The whole sector: a run that skipped it must have found it so.
    const std::vector<std::uint8_t> flash = m_bench.Peek(0, 0, 0x08000000, kFirstSector);
    if (flash != PlainResult()) {
      Add(Violation::FalseSuccess, "the flash differs from what a plain run leaves");
    }
    const std::vector<std::uint8_t> options = m_bench.Peek(0, 1, 0x1FFFC000, 16);
    if (options.size() != 16 ||
        !SameDefinedOptionBits({options[0], options[1], options[8], options[9]}, kWantedOptions,
                               m_scenario.device.flashKiB)) {
      Add(Violation::FalseSuccess, "the option bytes are not E3 AA FF 3F");
    }
  }

  void SetIdentity(const Discovery& found) {
    RecordArray ranges;
    ranges.Configure(sizeof(MacRange), -1);
    const MacRange range{0x02AB00000000, 1000, 500000, 1};
    ranges.Insert(&range, 0x7FFFFFFF, 1);
    IdentityState identityState = found.identityState;
    const std::string devicePath = found.devicePath;
    OtpImage otpImage{};
    if (found.otpImage) otpImage = *found.otpImage;
    int rescanRequested = 0;
    RunShared shared;
    MacSetzenState state{ranges,   500000, identityState,  devicePath,
                         otpImage, shared, rescanRequested};
    testkit::RecordingWindow window;
    window.answers = {MessageResult::Yes, MessageResult::Yes, MessageResult::Yes};
    const SerialNumberDialogRunner accept = [](SerialNumberDialog& dialog) {
      dialog.OnInitDialog();
      return true;
    };
    WindowIdentityOperator asker(window, accept);
    const MacSetzenServices services{
        asker, m_dfu, m_clock, {}, [] { return std::uint32_t{1400334309}; }, UtcCalendar};
    const MacSetzenResult result = MacSetzen(services, state);
    m_result.succeeded = result.outcome == MacSetzenOutcome::Written;

    const std::uint32_t target = ExpectedOtpTarget(m_otpBefore);
    const std::vector<std::uint8_t> otp = Otp();
    const auto block = [&otp](std::uint32_t b) {
      return std::vector<std::uint8_t>(otp.begin() + b * kOtpBlockSize,
                                       otp.begin() + (b + 1) * kOtpBlockSize);
    };
    if (m_result.succeeded &&
        (result.block != target ||
         block(target) != std::vector<std::uint8_t>(result.record.begin(), result.record.end()))) {
      Add(Violation::FalseSuccess, "block " + std::to_string(result.block) +
                                       " reported written, but it does not hold the record");
    }
    for (std::uint32_t b = 0; b < kOtpBlockCount; ++b) {
      if (b == target) continue;
      const std::vector<std::uint8_t> before(m_otpBefore.begin() + b * kOtpBlockSize,
                                             m_otpBefore.begin() + (b + 1) * kOtpBlockSize);
      if (block(b) != before)
        Add(Violation::MisplacedOtp, "block " + std::to_string(b) + " changed");
    }
  }

  void CheckCommon() {
    if (m_dfu.OpenConnections() != 0) Add(Violation::UncleanEnd, "a connection is left open");
    if (m_result.virtualMs > kHangBoundMs) {
      Add(Violation::Hang, std::to_string(m_result.virtualMs) + " ms of virtual time");
    }
    if (m_scenario.work == Work::Program && Otp() != m_otpBefore) {
      Add(Violation::MisplacedOtp, "a programming run changed the OTP area");
    }
    const std::vector<std::string> lines = LogLines(m_files.log);
    if (!m_result.succeeded || m_scenario.work != Work::Program) {
      if (!lines.empty()) Add(Violation::LoggedFailure, lines.front());
      return;
    }
    if (lines.size() != 1) {
      Add(Violation::UnidentifiedLog, std::to_string(lines.size()) + " log lines");
    } else if (m_scenario.withholdsId) {
      if (m_host.Warnings().empty())
        Add(Violation::UnidentifiedLog, "no warning of the missing ID");
    } else if (lines.front().find("\"" + m_uniqueIdText + "\"") == std::string::npos) {
      Add(Violation::UnidentifiedLog, "log line without the device: " + lines.front());
    }
  }

  const Scenario& m_scenario;
  Files& m_files;
  VirtualClock m_clock;
  SimBench m_bench{m_clock};
  UsbStdfuLibrary m_usb{m_bench, m_clock};
  testkit::WatchedStdfu m_dfu{m_usb};
  testkit::RecordingRunEvents m_host{[this] { return m_dfu.OpenConnections(); }};
  JobDevice m_current;
  std::string m_uniqueIdText;
  std::vector<std::uint8_t> m_otpBefore;
  TrialResult m_result;
};

// Option bytes in place, so that the trial's requests are those of the sector's work.
Scenario SkippingUnchanged(const std::string& name, Held held) {
  Scenario scenario{name, Work::Program, Device(1024, {0xE3, 0xAA, 0xFF, 0x3F})};
  scenario.skipUnchanged = true;
  scenario.held = held;
  return scenario;
}

}  // namespace

std::vector<Scenario> Scenarios() {
  return {
      {"factory option bytes", Work::Program, Device(1024, {0xEF, 0xAA, 0xFF, 0x0F})},
      {"option bytes set", Work::Program, Device(1024, {0xE3, 0xAA, 0xFF, 0x3F})},
      {"2 MiB dual bank", Work::Program, Device(2048, {0xEF, 0xAA, 0xFF, 0x0F})},
      {"MAC setzen, empty OTP", Work::MacSetzen, Device(1024, {0xE3, 0xAA, 0xFF, 0x3F})},
      {"MAC setzen, used OTP", Work::MacSetzen, DeviceWithIdentity()},
      {"read protection level 1", Work::Program, Device(1024, {0xEF, 0xBB, 0xFF, 0x0F}), false},
      {"read protection level 1, unprotect", Work::Program, Device(1024, {0xEF, 0xBB, 0xFF, 0x0F}),
       true, false, true},
      {"back under another path", Work::Program, Returning("elsewhere", true)},
      {"back as its application", Work::Program, Returning("", false), false},
      {"unique ID withheld", Work::Program, Withholding(), true, true},
      {"busy answers held near the longest erase", Work::Program, SlowErase()},
      {"lenient: factory option bytes", Work::Program,
       Lenient(Device(1024, {0xEF, 0xAA, 0xFF, 0x0F}))},
      {"lenient: read protection level 1", Work::Program,
       Lenient(Device(1024, {0xEF, 0xBB, 0xFF, 0x0F}))},
      {"lenient: MAC setzen", Work::MacSetzen, Lenient(Device(1024, {0xE3, 0xAA, 0xFF, 0x3F}))},
      SkippingUnchanged("skip unchanged: the same image", Held::Image),
      SkippingUnchanged("skip unchanged: data behind the image", Held::ImageAndDataBehind),
      SkippingUnchanged("skip unchanged: another image", Held::OtherImage),
      {"skip unchanged: read protection level 1, unprotect", Work::Program,
       Device(1024, {0xEF, 0xBB, 0xFF, 0x0F}), true, false, true, true},
  };
}

const char* ViolationName(Violation violation) {
  switch (violation) {
    case Violation::FalseSuccess:
      return "false success";
    case Violation::MisplacedOtp:
      return "misplaced OTP";
    case Violation::UnidentifiedLog:
      return "unidentified log";
    case Violation::LoggedFailure:
      return "logged failure";
    case Violation::UncleanEnd:
      return "unclean end";
    case Violation::Hang:
      return "hang";
  }
  return "?";
}

TrialResult RunTrial(const Scenario& scenario, const std::vector<SimFault>& faults) {
  return Trial(scenario, faults).Run();
}

}  // namespace kestrune::matrix
