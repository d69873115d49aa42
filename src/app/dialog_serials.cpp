// "MAC setzen" and the range files it needs. Until the serial-number flow is built, the button
// stays hidden and nothing is read.

#include "app/control_ids.h"
#include "app/programmer_dialog.h"

namespace kestrune {

void ProgrammerDialog::LoadMacRanges() {
  m_window.ShowControl(kIdMacSetzen, false);
}

void ProgrammerDialog::LoadNextSerial() {}

void ProgrammerDialog::OnMacSetzen() {}

}  // namespace kestrune
