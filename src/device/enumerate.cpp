#include "device/enumerate.h"

#include <cstdio>

#include "device/device_controls.h"
#include "device/guid_text.h"
#include "device/identity_display.h"
#include "dfu/dfu_connection.h"
#include "dfu/memory_commands.h"

namespace kestrune {
namespace {

namespace ids = device_controls;

constexpr int kIdentityControls[] = {ids::kSerialNumber, ids::kAssignmentDate, ids::kMacA,
                                     ids::kMacB};

std::uint16_t Word(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::string HexWord(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04Xh", static_cast<unsigned>(value));
  return text;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The programmed device must be reached through the boot loader's own interface class.
bool EndsWithDfuClass(const std::string& path) {
  const std::string guid = FormatGuid(kDfuInterfaceClass);
  if (path.size() < guid.size()) return false;
  const std::size_t tail = path.size() - guid.size();
  for (std::size_t i = 0; i < guid.size(); ++i) {
    if (Upper(path[tail + i]) != guid[i]) return false;
  }
  return true;
}

class Discoverer {
 public:
  Discoverer(StdfuLibrary& dfu, Clock& clock, CalendarConversion local, Discovery& result)
      : m_dfu(dfu), m_clock(clock), m_local(local), m_result(result) {}

  // The error flag as the window's member holds it now: showing a device's descriptors resets it.
  std::int32_t MemberError(std::int32_t shown) const { return m_descriptorsShown ? 0 : shown; }

  void Inspect(const std::string& path) {
    DfuConnection connection(m_dfu, path);
    if (!connection.IsOpen()) return;
    m_result.devicePath = path;
    DfuHandle handle = connection.Handle();
    if (ReadDescriptors(&handle)) {
      ShowDescriptors();
      if (!PassesChecks(&handle, path)) m_result.deviceError = 1;
    }
    ReadIdentity(connection);
  }

 private:
  bool ReadDescriptors(DfuHandle* handle) {
    std::array<std::uint8_t, 18> device = {};
    if (m_dfu.STDFU_GetDeviceDescriptor(handle, device.data()) != STDFU_NOERROR) return false;
    m_result.deviceDescriptor = device;
    DfuDescription dfu;
    if (m_dfu.STDFU_GetDFUDescriptor(handle, &dfu.interfaceNumber, &dfu.alternateCount,
                                     dfu.descriptor.data()) != STDFU_NOERROR) {
      return false;
    }
    m_result.dfu = dfu;
    return true;
  }

  void ShowDescriptors() {
    m_descriptorsShown = true;
    const std::uint8_t* device = m_result.deviceDescriptor->data();
    Add(ControlEffectKind::UpdateControls, 0);
    Add(ControlEffectKind::SetText, ids::kVendorId, HexWord(Word(device + 8)));
    Add(ControlEffectKind::SetText, ids::kProductId, HexWord(Word(device + 10)));
    Add(ControlEffectKind::SetText, ids::kDfuVersion, HexWord(DfuVersion()));
    Add(ControlEffectKind::SetText, ids::kDeviceBcd, HexWord(Word(device + 12)));
  }

  std::uint16_t DfuVersion() const { return Word(m_result.dfu->descriptor.data() + 7); }

  bool PassesChecks(DfuHandle* handle, const std::string& path) {
    const std::uint16_t version = DfuVersion();
    if (version < kFirstDfuSeVersion || version > kLastDfuSeVersion) return false;
    if (!EndsWithDfuClass(path)) return false;
    m_result.memoryMap =
        ParseMemoryMap(m_dfu, handle, m_result.dfu->interfaceNumber, m_result.dfu->alternateCount);
    if (!m_result.memoryMap) return false;
    m_result.flashSize = WritableFlashSize(*m_result.memoryMap);
    char text[16];
    std::snprintf(text, sizeof text, "%i kB", static_cast<int>(*m_result.flashSize / 1024));
    Add(ControlEffectKind::SetText, ids::kFlashSize, text);
    return true;
  }

  void ReadIdentity(DfuConnection& connection) {
    m_result.abortRequestCleared = true;
    OtpImage& image = m_result.otpImage.emplace();
    image.fill(0);
    DfuSession session{.dfu = m_dfu, .clock = m_clock, .postProgress = {}};
    const bool read = connection.SelectAlternate(kOtpAlternate) &&
                      ReadMemory(session, connection.Handle(), kOtpAddress, kOtpReadLength,
                                 image.data()) == TransferResult::Done;
    if (!read) {
      m_result.identityState = kIdentityNotRead;
      m_result.hardwareId = std::string();
      Add(ControlEffectKind::Empty, ids::kUniqueId);
      for (int control : kIdentityControls) Add(ControlEffectKind::Empty, control);
      return;
    }
    const IdentityDisplay display = ShowDeviceIdentity(image, m_local);
    m_result.identityState = display.state;
    m_result.hardwareId = display.uniqueId;
    Add(ControlEffectKind::SetText, ids::kUniqueId, display.uniqueId);
    if (display.state == kIdentityPresent) {
      Add(ControlEffectKind::SetText, ids::kMacA, display.macA);
      Add(ControlEffectKind::SetText, ids::kMacB, display.macB);
      Add(ControlEffectKind::SetText, ids::kAssignmentDate, display.assignmentDate);
      Add(ControlEffectKind::SetText, ids::kSerialNumber, display.serialNumber);
    } else {
      Add(ControlEffectKind::SetText, ids::kSerialNumber, display.serialNumber);
      Add(ControlEffectKind::SetText, ids::kAssignmentDate, display.assignmentDate);
      Add(ControlEffectKind::SetText, ids::kMacA, display.macA);
      Add(ControlEffectKind::SetText, ids::kMacB, display.macB);
    }
  }

  void Add(ControlEffectKind kind, int control, std::string text = {}) {
    m_result.effects.push_back({kind, control, std::move(text)});
  }

  StdfuLibrary& m_dfu;
  Clock& m_clock;
  CalendarConversion m_local;
  Discovery& m_result;
  bool m_descriptorsShown = false;
};

}  // namespace

Discovery Enumerate(StdfuLibrary& dfu, DeviceBus& bus, Clock& clock, const DiscoveryState& shown,
                    CalendarConversion local) {
  Discovery result;
  Discoverer discoverer(dfu, clock, local, result);
  for (const Guid* interfaceClass : {&kDfuInterfaceClass, &kSecondInterfaceClass}) {
    const std::optional<std::vector<std::string>> paths = bus.PresentInterfaces(*interfaceClass);
    if (!paths) continue;
    for (const std::string& path : *paths) {
      // Only the first device found is opened; the others are only counted.
      if (++result.deviceCount == 1) discoverer.Inspect(path);
    }
  }

  auto add = [&result](ControlEffectKind kind, int control, std::string text = {}) {
    result.effects.push_back({kind, control, std::move(text)});
  };
  if (result.deviceCount != shown.deviceCount) {
    add(ControlEffectKind::RepaintNow, ids::kDeviceCount);
    add(ControlEffectKind::SetText, ids::kDeviceCount, std::to_string(result.deviceCount));
    if (result.deviceCount == 0) {
      for (int control = ids::kVendorId; control <= ids::kUniqueId; ++control) {
        add(ControlEffectKind::Empty, control);
      }
      for (int control = ids::kSerialNumber; control <= ids::kAssignmentDate; ++control) {
        add(ControlEffectKind::Empty, control);
      }
      add(ControlEffectKind::EmptyLogTexts, 0);
    }
  }
  if (result.deviceError != discoverer.MemberError(shown.deviceError)) {
    add(ControlEffectKind::Repaint, ids::kDeviceCount);
    if (result.deviceError == 1) {
      add(ControlEffectKind::Empty, ids::kFlashSize);
      add(ControlEffectKind::Empty, ids::kUniqueId);
    }
  } else if (result.deviceError != shown.deviceError) {
    // The flag went back to 0 for a device shown anew: the count field must lose its error
    // colours even when the count itself did not change.
    add(ControlEffectKind::Repaint, ids::kDeviceCount);
  }
  if (result.identityState != shown.identityState) {
    for (int control : kIdentityControls) add(ControlEffectKind::Repaint, control);
  }
  return result;
}

}  // namespace kestrune
