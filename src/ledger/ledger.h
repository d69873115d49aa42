#pragma once
// The identity ledger shared by the stations of a line: which serial numbers and MAC addresses
// were given to which device (by its unique ID), and every verified run. A serial number or MAC
// address once reserved for one device is never given to another, whatever becomes of the
// write: only the same device may take its own reservation again. A device may hold several
// serial numbers: one whose identity is replaced reserves a new one, and its old reservation
// stays, so that those numbers are not given out again either.
//
// Every operation is one short exchange with the ledger's store (a locked file, a database
// transaction), safe for any number of processes at once. Failures come back as values; the
// text of the last one from LastError().

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

enum class ReservationState { Reserved, Written, Failed };

// "reserved", "written", "failed": the word the stores keep.
const char* StateName(ReservationState state);
std::optional<ReservationState> StateFromName(const std::string& name);

struct LedgerIdentity {
  std::int32_t serial = 0;  // as stored in the device (its low 24 bits)
  std::uint64_t macA = 0;   // 48-bit numbers
  std::uint64_t macB = 0;
  std::string uniqueId;  // the device's unique-ID text
  bool operator==(const LedgerIdentity&) const = default;
};

struct LedgerEntry {
  LedgerIdentity identity;
  ReservationState state = ReservationState::Reserved;
  std::string station;    // where it was reserved
  std::int64_t time = 0;  // of the last change, seconds since 1970
};

// One verified programming run.
struct RunRecord {
  std::string recordId;  // unique per run, so that a record sent twice is kept once
  std::int64_t time = 0;
  std::string station;
  std::string uniqueId;
  std::string firmwareFile;
  std::string deviceType;
  std::string version;
  std::string firmwareDate;
  bool operator==(const RunRecord&) const = default;
};

struct LedgerContents {
  std::vector<LedgerEntry> identities;  // ascending by serial
  std::vector<RunRecord> runs;          // in the order recorded
};

enum class LedgerStatus {
  Ok,
  Conflict,     // the serial number or a MAC address is reserved for another device
  Unreachable,  // the store could not be opened, locked, read or written
  Exhausted,    // every serial number of the ranges is reserved (ReserveNextFree only)
};

class Ledger {
 public:
  virtual ~Ledger() = default;

  // Everything recorded.
  virtual LedgerStatus Read(LedgerContents& contents) = 0;

  // The serial numbers reserved, in any state, ascending.
  virtual LedgerStatus ReservedSerials(std::vector<std::int32_t>& serials) = 0;

  // Reserves the serial number and both MAC addresses for the device at once, or none of them:
  // Conflict when the serial number is reserved with other MAC addresses or for another unique ID,
  // or when either MAC address is reserved under another serial number (this device's too).
  // Serial numbers the device holds already do not stand in the way of a new one. Reserving what
  // this device already holds is allowed and makes it reserved again (a write that is tried once
  // more).
  virtual LedgerStatus Reserve(const LedgerIdentity& identity, const std::string& station,
                               std::int64_t time) = 0;

  // Marks the device's reservation of `serial` written or failed; Conflict when the device
  // holds no such reservation.
  virtual LedgerStatus Mark(std::int32_t serial, const std::string& uniqueId,
                            ReservationState state, std::int64_t time) = 0;

  // Adds run records; one whose record ID is already there is skipped.
  virtual LedgerStatus AddRuns(const std::vector<RunRecord>& runs) = 0;

  // What went wrong last, for the operator.
  virtual std::string LastError() const = 0;
};

}  // namespace kestrune
