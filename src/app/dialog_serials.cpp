// "MAC setzen" and the range files it needs: the files are read once at start-up, the
// assignment itself is MacSetzen with the dialog's members.

#include <vector>

#include "app/control_ids.h"
#include "app/mac_setzen.h"
#include "app/operator_box.h"
#include "app/programmer_dialog.h"
#include "app/run_commands.h"
#include "app/window_identity_operator.h"
#include "job/program_start.h"
#include "ledger/station_choice.h"
#include "serials/range_files.h"

namespace kestrune {
namespace {

void ShowAll(Window& window, const std::vector<OperatorMessage>& messages) {
  for (const OperatorMessage& message : messages) {
    ShowOperatorMessage(window, message);
  }
}

}  // namespace

void ProgrammerDialog::LoadMacRanges() {
  const MacRangeLoad load =
      kestrune::LoadMacRanges(m_services.infosFolder + "/MacList.cfg", m_macRanges);
  ShowAll(m_window, load.warnings);
  m_window.ShowControl(kIdMacSetzen, load.usable);
}

void ProgrammerDialog::LoadNextSerial() {
  const NextSerialLoad next =
      kestrune::LoadNextSerial(m_services.infosFolder + "/NextSerial.cfg", m_macRanges);
  m_nextSerial = next.nextSerial;
  ShowAll(m_window, next.warnings);
}

// A ledger in doubt is said at start: the operator learns it before the first device, not at it.
void ProgrammerDialog::LoadLedger() {
  const LedgerChoice choice = ChooseLedger(m_services.infosFolder, std::nullopt);
  ShowAll(m_window, choice.warnings);
  m_ledgerRefusal = {};
  m_ledger = OpenStationLedger(choice, m_ledgerRefusal);
  if (!m_ledgerRefusal.text.empty()) ShowOperatorMessage(m_window, m_ledgerRefusal);
  m_runRecorder = m_ledger ? std::make_unique<LedgerRunRecorder>(*m_ledger) : nullptr;
}

void ProgrammerDialog::OnMacSetzen() {
  // The button is disabled during a run; the transfers must never meet the worker's.
  if (m_busy) return;
  // A discovery is still due, after an earlier write say: the copy of the OTP area may be out of
  // date, and a block written since must not be chosen again.
  if (m_rescanRequested) {
    m_rescanRequested = 0;
    Enumerate();
  }
  // An identity goes only to the device the operator sees alone: discovery opened just one of
  // several, and nothing tells which.
  if (m_deviceCount >= 2) {
    RefuseStart(MessageIcon::Warning, StartRefusalText(StartRefusal::SeveralDevices));
    return;
  }
  if (!m_ledgerRefusal.text.empty()) {
    ShowOperatorMessage(m_window, m_ledgerRefusal);
    return;
  }
  MacSetzenState state{m_macRanges,       m_nextSerial, m_identityState,
                       m_devicePath,      m_otpImage,   m_shared,
                       m_rescanRequested, &m_busy,      [this] { Enumerate(); }};
  state.ledger = m_ledger.get();
  state.uniqueId = &m_hardwareId;
  WindowIdentityOperator asker(m_window, m_services.runSerialNumberDialog);
  MacSetzen({asker, m_services.stdfu, m_services.clock,
             [this] { m_window.PostCommand(ID_RUN_PROGRESS); }},
            state);
}

}  // namespace kestrune
