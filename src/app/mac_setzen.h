#pragma once
// "MAC setzen": gives the attached device a serial number and two MAC addresses in the next free
// block of its OTP area, after the operator confirmed them (through IdentityOperator). Runs on the
// window's thread while no programming run is active. ProgrammerDialog::OnMacSetzen calls it with
// its own members; the command line calls it with the state of its own discovery.
//
// Nothing is written unless the range list holds a range (so the record is complete), discovery
// found a device and read its OTP area, the target block is empty in that copy, and the device
// was opened with its OTP alternate setting selected.

#include <cstdint>
#include <functional>
#include <string>

#include "app/identity_operator.h"
#include "app/run_commands.h"
#include "app/serial_number_dialog.h"
#include "device/device_identity.h"
#include "dfu/stdfu.h"
#include "ledger/station_ledger.h"
#include "platform/clock.h"
#include "support/format_time.h"
#include "support/record_array.h"

namespace kestrune {

// The dialog state the assignment reads and writes.
struct MacSetzenState {
  const RecordArray& ranges;           // m_macRanges
  std::int32_t nextSerial = 0;         // m_nextSerial: the number proposed first
  const IdentityState& identityState;  // m_identityState
  const std::string& devicePath;       // m_devicePath
  const OtpImage& otpImage;            // m_otpImage, as the last discovery read it
  RunShared& shared;                   // the abort flag and progress counter the transfers use
  int& rescanRequested;                // m_rescanRequested: set once the device may have changed
  // m_busy, when the caller can start runs: the serial-number dialog has no owner, so a run may
  // start from the main window while it is open, and that run then owns the device.
  const int* runActive = nullptr;
  // Discovery again, refreshing the members above; run when rescanRequested is set after the
  // dialog. A caller without it keeps its copy up to date itself.
  std::function<void()> rediscover = nullptr;
  // The identity ledger of a line of stations, or null. With it the proposal is the lowest free
  // serial number from nextSerial on (unless `ledgerProposes` is false: nextSerial is then the
  // operator's own choice), the identity is reserved for the device's unique ID (`uniqueId`,
  // refreshed by rediscover) before anything is written, and marked written or failed after the
  // read-back.
  StationLedger* ledger = nullptr;
  bool ledgerProposes = true;
  const std::string* uniqueId = nullptr;
};

struct MacSetzenServices {
  IdentityOperator& asker;  // asked the questions, told the outcomes
  StdfuLibrary& stdfu;
  Clock& clock;
  // Told that the transfers moved the progress counter; may be empty.
  std::function<void()> progressNotice;
  TimeSource now = CurrentTime;
  CalendarConversion calendar = LocalCalendar;
};

enum class MacSetzenOutcome {
  NoRange,          // the list holds no range: refused before anything was asked
  LedgerRefused,    // the ledger gave no identity: out of reach, used up, or held by another
  TakenMeanwhile,   // another station reserved the ledger's proposal first (asked anew)
  NotRead,          // the OTP area was not read at discovery: refused
  OpenFailed,       // no device at discovery, or it could not be opened
  Declined,         // the operator said No, Cancel or closed the dialog
  RunActive,        // a run started while the dialog was open: nothing written
  AlreadyInDevice,  // the last used block holds this identity already
  AreaFull,         // block 15 is used
  SelectFailed,
  WriteFailed,
  ReadBackFailed,
  Differs,  // read back, but not what was written
  Written,  // written and read back equal
};

struct MacSetzenResult {
  MacSetzenOutcome outcome = MacSetzenOutcome::Declined;
  std::uint32_t block = 0;  // the target block, once chosen
  OtpBlock record{};        // the record, once the dialog ended with OK
};

MacSetzenResult MacSetzen(const MacSetzenServices& services, MacSetzenState& state);

}  // namespace kestrune
