#include "ledger/ledger_text.h"

#include "ledger/ledger_lines.h"

namespace kestrune {

std::string SerialTakenText(const LedgerIdentity& holder) {
  return "serial number " + std::to_string(holder.serial) + " is reserved for device " +
         holder.uniqueId;
}

std::string MacTakenText(std::uint64_t mac, const LedgerIdentity& holder) {
  return "MAC address " + FormatMac(mac) + " is reserved for device " + holder.uniqueId +
         " (serial number " + std::to_string(holder.serial) + ")";
}

std::string NoReservationText(std::int32_t serial, const std::string& uniqueId) {
  return "device " + uniqueId + " holds no reservation of serial number " + std::to_string(serial);
}

}  // namespace kestrune
