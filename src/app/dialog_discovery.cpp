// Applying a discovery to the device members and the window.

#include "app/control_ids.h"
#include "app/discovery_display.h"
#include "app/programmer_dialog.h"
#include "device/enumerate.h"

namespace kestrune {

void ProgrammerDialog::Enumerate() {
  const DiscoveryState shown{m_deviceCount, m_deviceError, m_identityState};
  Discovery found = kestrune::Enumerate(m_services.stdfu, m_services.bus, m_services.clock);
  // The members first, so that the repaints below already see the new state.
  {
    std::lock_guard lock(m_deviceMutex);
    m_deviceCount = found.deviceCount;
    m_devicePath = found.devicePath;
    m_memoryMap = std::move(found.memoryMap);
    if (found.flashSize) m_flashSize = *found.flashSize;
  }
  m_deviceError = found.deviceError;
  m_identityState = found.identityState;
  if (found.deviceDescriptor) m_deviceDescriptor = *found.deviceDescriptor;
  if (found.dfu) {
    m_dfuDescriptor = found.dfu->descriptor;
    m_dfuInterface = found.dfu->interfaceNumber;
    m_alternateCount = found.dfu->alternateCount;
  }
  if (found.otpImage) m_otpImage = *found.otpImage;
  if (found.hardwareId) m_hardwareId = *found.hardwareId;
  m_shared.m_deviceRemoved = 0;
  // A stop request pressed during a run stays for that run.
  if (found.otpReadStarted && m_busy == 0) m_shared.m_abortRequested = 0;

  for (const ControlEffect& effect : DiscoveryEffects(found, shown)) {
    switch (effect.kind) {
      case ControlEffectKind::UpdateControls:
        m_window.SetControlText(kIdFirmwarePath, m_firmwarePath);
        break;
      case ControlEffectKind::SetText:
        m_window.SetControlText(effect.control, effect.text);
        break;
      case ControlEffectKind::Empty:
        m_window.SetControlText(effect.control, "");
        break;
      case ControlEffectKind::Repaint:
      case ControlEffectKind::RepaintNow:
        m_window.RepaintControl(effect.control);
        break;
      case ControlEffectKind::EmptyLogTexts:
        // Only the device's text goes with the device. The firmware's texts describe the chosen
        // file, which is still chosen: emptying them would log the next device's run without its
        // firmware version, since nothing describes the file again before that run.
        m_hardwareId.clear();
        break;
    }
  }
}

// The worker waits for its device to register anew after the option bytes were rewritten, with
// its connection closed, and reads the device through CurrentDevice. Enumerate while the device is
// known to be gone or not yet found again; once it is back, leave it alone, since the worker is
// about to open it.
void ProgrammerDialog::OnRunReenumerate() {
  if (m_busy == 0) return;
  if (m_shared.m_deviceRemoved != 0 || m_deviceCount == 0) Enumerate();
}

}  // namespace kestrune
