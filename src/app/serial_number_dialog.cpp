#include "app/serial_number_dialog.h"

#include "app/control_ids.h"
#include "serials/config_tokens.h"
#include "serials/identity_assignment.h"

namespace kestrune {
namespace {

constexpr SchemeColours kBlackOnWhite = {{0, 0, 0}, {255, 255, 255}};
constexpr SchemeColours kOutOfRange = {{105, 0, 0}, {230, 190, 190}};
constexpr SchemeColours kInRange = {{0, 105, 0}, {190, 230, 190}};

}  // namespace

std::uint32_t CurrentTime() {
  return static_cast<std::uint32_t>(std::time(nullptr));
}

void SerialNumberDialog::OnInitDialog() {
  m_inRange = -1;
  Recompute(m_serial);
}

bool SerialNumberDialog::OnSerialChanged(std::string_view typed) {
  m_serial = ParseDecimal(typed);
  return Recompute(m_serial);
}

bool SerialNumberDialog::Recompute(std::int32_t serial) {
  if (m_ranges == nullptr) return false;
  const auto assignment =
      kestrune::Recompute(serial, *m_ranges, m_now(), m_twoMacs == 1, m_calendar);
  if (!assignment) return false;
  m_serialText = assignment->serialText;
  m_dateText = assignment->dateText;
  m_macAText = assignment->macA;
  m_macBText = assignment->macB;
  if (m_record != nullptr) {
    *m_record = assignment->record;
    m_recordFilled = true;
  }
  if (assignment->inRange == m_inRange) return false;
  m_inRange = assignment->inRange;
  return true;
}

std::optional<SchemeColours> SerialNumberDialog::ControlColours(int id) const {
  switch (id) {
    case kIdSerialNumber:
      return m_inRange == 1 ? kBlackOnWhite : kOutOfRange;
    case kIdMacA:
    case kIdMacB:
    case kIdAssignmentDate:
      return m_inRange == 1 ? kInRange : kOutOfRange;
    default:
      return std::nullopt;
  }
}

void SerialNumberDialog::ShowIn(Window& window, bool opening, bool repaint) const {
  window.SetControlText(kIdAssignmentDate, m_dateText);
  window.SetControlText(kIdMacA, m_macAText);
  window.SetControlText(kIdMacB, m_macBText);
  if (opening) window.SetControlText(kIdSerialNumber, m_serialText);
  if (repaint) {
    for (int id : {kIdSerialNumber, kIdAssignmentDate, kIdMacA, kIdMacB}) window.RepaintControl(id);
  }
}

}  // namespace kestrune
