// Choosing the firmware file: the combo box's countdowns and history, and the browse button.

#include "app/control_ids.h"
#include "app/path_history.h"
#include "app/programmer_dialog.h"

namespace kestrune {

namespace {

// Timer ticks until a typed path is described again (1 to 1.25 s after the last keystroke), and
// until a path picked from the list is (the next tick).
constexpr int kTicksAfterEdit = 5;
constexpr int kTicksAfterPick = 1;

}  // namespace

void ProgrammerDialog::OnFirmwarePathEdited() {
  m_firmwareReloadTicks = kTicksAfterEdit;
}

void ProgrammerDialog::OnFirmwarePathPicked() {
  m_firmwareReloadTicks = kTicksAfterPick;
}

void ProgrammerDialog::TakeFirmwarePathFromControl() {
  m_firmwarePath = m_window.ControlText(kIdFirmwarePath);
}

void ProgrammerDialog::LoadPathHistory() {
  // The last used path becomes the current one.
  if (std::optional<std::string> current =
          kestrune::LoadPathHistory(m_window, kIdFirmwarePath, m_services.pathHistory)) {
    m_firmwarePath = std::move(*current);
  }
}

void ProgrammerDialog::SavePathHistory() {
  kestrune::SavePathHistory(m_window, kIdFirmwarePath, m_services.pathHistory);
}

void ProgrammerDialog::OnBrowse() {
  TakeFirmwarePathFromControl();
  FileDialogRequest request;
  request.title = "Datei auswählen";
  request.initialFileName = m_firmwarePath.empty() ? "*.bin" : m_firmwarePath;
  request.defaultExtension = "*.bin";
  request.filter = "Firmware-Dateien ( *.bin )|*.bin|Alle Dateien|*.*|";
  std::optional<std::string> chosen = m_window.ChooseFile(request);
  if (!chosen) return;
  m_firmwarePath = *chosen;
  m_window.SetControlText(kIdFirmwarePath, m_firmwarePath);
  DescribeFirmware();
}

}  // namespace kestrune
