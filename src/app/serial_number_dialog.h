#pragma once
// SerialNumberDialog (template 103, "Seriennummer einstellen"): the operator confirms or types the
// serial number; the dialog shows the date and both MAC addresses it gives and keeps the caller's
// identity record up to date. The logic keeps the field texts as members; a window adapter shows
// them with ShowIn and paints each field in ControlColours.

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/colour_scheme.h"
#include "app/window.h"
#include "device/device_identity.h"
#include "support/format_time.h"
#include "support/record_array.h"

namespace kestrune {

// The present moment in seconds since 1970 (32-bit, as stored in the identity block).
using TimeSource = std::uint32_t (*)();
std::uint32_t CurrentTime();

class SerialNumberDialog {
 public:
  // Text of edit 1019: the serial number as shown after a recomputation.
  std::string m_serialText;
  // Every record carries a second MAC address.
  int m_twoMacs = 1;
  // The serial number proposed (set by the caller) or typed.
  int m_serial = 0;
  // The caller's record that the dialog keeps up to date; untouched while no range exists.
  OtpBlock* m_record = nullptr;
  // The caller's MacRange list.
  const RecordArray* m_ranges = nullptr;
  // Whether the current serial number lies in a range: -1 not yet known, 0 no, 1 yes.
  int m_inRange = -1;

  // Texts of 1022 (assignment date), 1020 (MAC A) and 1021 (MAC B).
  std::string m_dateText;
  std::string m_macAText;
  std::string m_macBText;
  // Whether m_record holds what a recomputation produced.
  bool m_recordFilled = false;

  // Where the time and the local calendar come from (tests fix both).
  TimeSource m_now = CurrentTime;
  CalendarConversion m_calendar = LocalCalendar;

  // The dialog opens: computes everything for m_serial.
  void OnInitDialog();
  // EN_CHANGE of 1019 with the field's text now: read as a decimal number and recomputed. Returns
  // true when the four fields change colour and must be repainted at once.
  bool OnSerialChanged(std::string_view typed);
  // Derives texts and record for `serial` (its low 24 bits). Returns true when the in-range state
  // changed. With no range at all nothing changes.
  bool Recompute(std::int32_t serial);

  // Colours of control `id`; nothing for the framework's default.
  std::optional<SchemeColours> ControlColours(int id) const;

  // Shows the texts in the dialog's window: the serial field only when the dialog opens (while
  // typing, the field keeps what was typed); repaints the four fields when `repaint` is set.
  void ShowIn(Window& window, bool opening, bool repaint) const;
};

// Runs the serial-number dialog modally in the front end's way; true when it ended with OK.
using SerialNumberDialogRunner = std::function<bool(SerialNumberDialog& dialog)>;

}  // namespace kestrune
