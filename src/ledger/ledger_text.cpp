#include "ledger/ledger_text.h"

#include "ledger/ledger_lines.h"

namespace kestrune {

std::string SerialTakenText(const LedgerIdentity& holder) {
  return "Die Seriennummer " + std::to_string(holder.serial) + " ist bereits für das Gerät " +
         holder.uniqueId + " reserviert !";
}

std::string MacTakenText(std::uint64_t mac, const LedgerIdentity& holder) {
  return "Die MAC-Adresse " + FormatMac(mac) + " ist bereits für das Gerät " + holder.uniqueId +
         " (Seriennummer " + std::to_string(holder.serial) + ") reserviert !";
}

std::string NoReservationText(std::int32_t serial, const std::string& uniqueId) {
  return "Für das Gerät " + uniqueId + " ist die Seriennummer " + std::to_string(serial) +
         " nicht reserviert !";
}

}  // namespace kestrune
