// Applying the description of the chosen firmware file to the members and the window.

#include "app/control_ids.h"
#include "app/programmer_dialog.h"
#include "firmware/firmware_description.h"

namespace kestrune {

void ProgrammerDialog::DescribeFirmware() {
  TakeFirmwarePathFromControl();
  FirmwareDescription described = kestrune::DescribeFirmware(m_firmwarePath.c_str());
  m_firmwareState = described.state;
  if (described.logTextsReplaced) {
    m_firmwareVersion = described.firmwareVersion;
    m_deviceKind = described.deviceKind;
    m_firmwareDate = described.firmwareDate;
  }
  for (int i = 0; i < kFirmwareInfoFieldCount; ++i) {
    m_window.SetControlText(kFirmwareInfoFirstControl + i,
                            described.texts[static_cast<std::size_t>(i)]);
  }
  if (described.reloadCountdownReset) m_firmwareReloadTicks = 0;
}

}  // namespace kestrune
