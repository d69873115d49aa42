#include "device/enumerate.h"

#include "device/otp_read.h"
#include "device/unique_id_text.h"
#include "dfu/dfu_connection.h"
#include "dfu/memory_commands.h"

namespace kestrune {
namespace {

std::uint16_t Word(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

class Discoverer {
 public:
  Discoverer(StdfuLibrary& dfu, Clock& clock, Discovery& result)
      : m_dfu(dfu), m_clock(clock), m_result(result) {}

  // `interfaceClass` is the class under which the bus reported the path: the programmed device
  // must be reached through the boot loader's own class. Asking the bus, not reading the class off
  // the path's tail, serves buses whose paths name no class (Linux names the port chain).
  void Inspect(const std::string& path, const Guid& interfaceClass) {
    DfuConnection connection(m_dfu, path);
    if (!connection.IsOpen()) return;
    m_result.devicePath = path;
    DfuHandle handle = connection.Handle();
    if (ReadDescriptors(&handle)) {
      KeepDescriptorValues();
      if (!PassesChecks(&handle, interfaceClass)) m_result.deviceError = true;
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

  void KeepDescriptorValues() {
    const std::uint8_t* device = m_result.deviceDescriptor->data();
    m_result.descriptors =
        UsbDescriptorValues{Word(device + 8), Word(device + 10), DfuVersion(), Word(device + 12)};
  }

  std::uint16_t DfuVersion() const { return Word(m_result.dfu->descriptor.data() + 7); }

  bool PassesChecks(DfuHandle* handle, const Guid& interfaceClass) {
    const std::uint16_t version = DfuVersion();
    if (version < kFirstDfuSeVersion || version > kLastDfuSeVersion) return false;
    if (interfaceClass != kDfuInterfaceClass) return false;
    m_result.memoryMap =
        ParseMemoryMap(m_dfu, handle, m_result.dfu->interfaceNumber, m_result.dfu->alternateCount);
    if (!m_result.memoryMap) return false;
    m_result.flashSize = WritableFlashSize(*m_result.memoryMap);
    return true;
  }

  void ReadIdentity(DfuConnection& connection) {
    m_result.otpReadStarted = true;
    OtpImage& image = m_result.otpImage.emplace();
    DfuSession session{.dfu = m_dfu, .clock = m_clock, .postProgress = {}};
    const OtpRead read = ReadOtpArea(session, connection.Handle(), image);
    if (read != OtpRead::Complete && read != OtpRead::WithoutUniqueId) {
      m_result.identityState = IdentityState::NotRead;
      m_result.hardwareId = std::string();
      return;
    }
    m_result.identityState =
        FindIdentityBlock(image) ? IdentityState::Present : IdentityState::NotProgrammed;
    // Without the unique ID there is nothing to name the device by; the run tries again.
    m_result.hardwareId = read == OtpRead::WithoutUniqueId
                              ? std::string()
                              : UniqueIdText(image.data() + kUniqueIdOffset);
  }

  StdfuLibrary& m_dfu;
  Clock& m_clock;
  Discovery& m_result;
};

}  // namespace

Discovery Enumerate(StdfuLibrary& dfu, DeviceBus& bus, Clock& clock) {
  Discovery result;
  Discoverer discoverer(dfu, clock, result);
  for (const Guid* interfaceClass : {&kDfuInterfaceClass, &kSecondInterfaceClass}) {
    const std::optional<std::vector<std::string>> paths = bus.PresentInterfaces(*interfaceClass);
    if (!paths) continue;
    for (const std::string& path : *paths) {
      // Only the first device found is opened; the others are only counted.
      if (++result.deviceCount == 1) discoverer.Inspect(path, *interfaceClass);
    }
  }
  return result;
}

}  // namespace kestrune
