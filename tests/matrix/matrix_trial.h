#pragma once
// One trial of the fault matrix: a fresh simulated device on a virtual clock, discovery as the
// window runs it, then a programming run or "MAC setzen", and a check of what the device and the
// log hold afterwards against what the host reported.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace kestrune::matrix {

enum class Work { Program, MacSetzen };

// What the device's flash holds before a trial.
enum class Held { Blank, Image, ImageAndDataBehind, OtherImage };

struct Scenario {
  std::string name;
  Work work = Work::Program;
  SimDeviceConfig device;
  bool cleanSucceeds = true;  // false: the device itself makes the work fail
  // The device never gives its unique ID: a successful run logs a line without it and warns.
  bool withholdsId = false;
  bool unprotect = false;  // the run may unprotect a read-protected device
  // The run reads each sector first and spares the erase or write it does not need.
  bool skipUnchanged = false;
  Held held = Held::Blank;
};

// The scenarios every fault is tried on.
std::vector<Scenario> Scenarios();

// What a trial broke; each is a count column of the outcome table.
enum class Violation {
  FalseSuccess,     // success reported, but the flash, option bytes or OTP block disagree
  MisplacedOtp,     // an OTP block changed that the work had no business changing
  UnidentifiedLog,  // success without exactly one log line that names the device
  LoggedFailure,    // a log line without a success
  UncleanEnd,       // Finished not once and last, a connection left open, two error boxes
  Hang,             // more virtual time than any bounded wait allows
};
inline constexpr std::size_t kViolationKinds = 6;
const char* ViolationName(Violation violation);

struct TrialResult {
  bool started = false;    // discovery counted one device, so the operator could start
  bool succeeded = false;  // the host reported success (programmed, or identity written)
  std::uint32_t virtualMs = 0;
  std::vector<std::pair<Violation, std::string>> violations;
  // Requests of each kind the device received.
  std::array<std::uint32_t, kSimRequestKinds> requests{};
};

// Runs `scenario` once with `faults` added to its device.
TrialResult RunTrial(const Scenario& scenario, const std::vector<SimFault>& faults);

}  // namespace kestrune::matrix
