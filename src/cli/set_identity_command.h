#pragma once
// `kestrune set-identity`: "MAC setzen" on the console. The range files are read as the window
// reads them at start, one discovery finds the device, and the window's flow asks its questions
// on the terminal; the serial-number dialog shows its proposal and asks for confirmation.

#include <cstdint>
#include <optional>
#include <string>

#include "backend/device_backend.h"
#include "cli/console_options.h"
#include "device/device_identity.h"

namespace kestrune::cli {

struct SetIdentityRequest {
  // The serial number to propose instead of the one from NextSerial.cfg.
  std::optional<std::int32_t> serial;
  // Confirm the assignment and replace an identity the device holds, without asking. A serial
  // number outside every range is refused unless `outsideRanges` is set too, and so is a proposal
  // NextSerial.cfg came with a warning about (that one needs `serial`).
  bool yes = false;
  // Give a serial number outside every range (its MACs continue the first range's) without asking.
  bool outsideRanges = false;
  // How the device is named before the questions; empty: not named.
  std::string deviceName = {};
  // The ledger --ledger names; else KESTRUNE_LEDGER, else Infos/Ledger.cfg, else none.
  std::optional<std::string> ledger = std::nullopt;
};

// Gives the device on `bus` its identity from the range files in `infosFolder`, then runs a
// discovery and prints the device with its new identity. With a ledger the ledger proposes the
// serial number and holds the identity for the device before it is written. Returns kExitOk when
// a block was written and read back equal, kExitNoDevice without a device, kExitRefused when the
// range files, the ledger, the device's OTP area or an answer refused it before writing,
// kExitFailed when the write failed. `written`, when given, receives the block and the identity
// written.
struct IdentityWritten {
  std::uint32_t block = 0;
  DeviceIdentity identity;
};
int SetIdentity(DeviceBackend& backend, DeviceBus& bus, const std::string& infosFolder,
                const SetIdentityRequest& request, const ConsoleOptions& console,
                IdentityWritten* written = nullptr);
inline int SetIdentity(DeviceBackend& backend, const std::string& infosFolder,
                       const SetIdentityRequest& request, const ConsoleOptions& console) {
  return SetIdentity(backend, backend.Bus(), infosFolder, request, console);
}

}  // namespace kestrune::cli
