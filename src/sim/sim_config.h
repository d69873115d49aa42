#pragma once
// What one simulated STM32F4 boot loader is: its USB identity, memory contents at the factory,
// timing, injected faults and where its memory images persist. Filled by defaults, by the
// simulator file or by tests.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

inline constexpr std::uint32_t kSimFlashStart = 0x08000000;
inline constexpr std::uint32_t kSimOptionStart = 0x1FFFC000;
inline constexpr std::uint32_t kSimOptionBank2Start = 0x1FFEC000;  // dual-bank parts only
inline constexpr std::uint32_t kSimOptionSize = 16;
inline constexpr std::uint32_t kSimOtpStart = 0x1FFF7800;
inline constexpr std::uint32_t kSimOtpBlockSize = 32;
inline constexpr std::uint32_t kSimOtpBlockCount = 16;
inline constexpr std::uint32_t kSimOtpLockStart = 0x1FFF7A00;
inline constexpr std::uint32_t kSimUniqueIdStart = 0x1FFF7A10;
inline constexpr std::uint32_t kSimFlashSizeStart = 0x1FFF7A22;
// The OTP alternate declares 16 blocks and the lock block; the lenient setting serves the whole
// 2 KiB window behind it (unique ID and flash size included; the rest reads 0xFF).
inline constexpr std::uint32_t kSimOtpDeclaredSize = 528;
inline constexpr std::uint32_t kSimOtpWindowSize = 0x800;
inline constexpr std::uint32_t kSimUniqueIdAreaSize = 0x14;  // unique ID, gap, flash size
inline constexpr std::uint32_t kSimFeatureStart = 0xFFFF0000;
inline constexpr std::uint32_t kSimFeatureSize = 4;
inline constexpr std::uint32_t kSimTransferSize = 2048;

enum class SimInterfaceClass { First, Second };

// Full speed moves at most 13 packets of 64 bytes per 1 ms frame in a control data stage.
inline constexpr std::uint32_t kSimMaxDataBytesPerMs = 13 * 64;

// Work times of the flash controller and the time the bus takes. The device reports work times
// as bwPollTimeout and stays in dfuDNBUSY until they have passed on the bench's clock; the bus
// time of every request is spent on that clock by the host that made it.
struct SimTiming {
  std::uint32_t setAddressMs = 0;
  std::uint32_t erase16KMs = 0;
  std::uint32_t erase64KMs = 0;
  std::uint32_t erase128KMs = 0;
  std::uint32_t massEraseMs = 0;       // per 1 MiB bank
  std::uint32_t programUsPerWord = 0;  // 32-bit words
  std::uint32_t optionWriteMs = 0;
  std::uint32_t controlTransferUs = 0;  // setup and status stages of one request
  std::uint32_t dataBytesPerMs = 0;     // data stage, at most kSimMaxDataBytesPerMs; 0: no time
};
SimTiming InstantTiming();
SimTiming DatasheetTiming();  // typical values at 2.7-3.6 V, x32 parallelism, full-speed bus

// Microseconds of one request on the bus that moves `dataBytes` in its data stage.
std::uint32_t SimTransferUs(const SimTiming& timing, std::uint32_t dataBytes);
// Microseconds of programming `bytes` into flash or OTP (whole 32-bit words).
std::uint32_t SimProgramUs(const SimTiming& timing, std::uint32_t bytes);
// Milliseconds of erasing one flash sector of `sectorSize` bytes.
std::uint32_t SimEraseMs(const SimTiming& timing, std::uint32_t sectorSize);

// The kinds of request that faults count.
enum class SimRequest {
  Detach,
  Dnload,
  Upload,
  GetStatus,
  ClrStatus,
  GetState,
  Abort,
  GetDescriptor,
  SetInterface,
  Open,  // not a request: the host opening the device's path
};
inline constexpr std::size_t kSimRequestKinds = 10;
// The names of the kinds in the simulator file and in request counts, in the order above.
inline constexpr const char* kSimRequestNames[kSimRequestKinds] = {
    "DETACH",   "DNLOAD", "UPLOAD",         "GETSTATUS",     "CLRSTATUS",
    "GETSTATE", "ABORT",  "GET_DESCRIPTOR", "SET_INTERFACE", "OPEN"};

enum class SimFaultAction {
  Fail,         // the transfer fails (UsbResult::Error), the device does nothing
  Stall,        // the request stalls and the device enters dfuERROR (errSTALLEDPKT)
  Timeout,      // no answer: the transfer times out, the device does nothing
  DfuError,     // a download's work fails with `status`; any other request finds dfuERROR first
  Disconnect,   // the device leaves the bus instead of answering
  Corrupt,      // uploads return the byte at `address` XOR `xorMask` (the memory stays intact)
  Partial,      // a data download writes only its first `bytes` bytes and reports success
  Lost,         // a download reports success and changes nothing (an option block still resets)
  Garble,       // this one answer has its byte at `offset` XOR `xorMask`; the memory stays intact
  Short,        // the answer carries only `bytes` bytes
  Oversized,    // the answer claims one byte more than was asked for
  WrongState,   // GETSTATUS answers bState `state`; the device stays in its real state
  PollTimeout,  // GETSTATUS answers bwPollTimeout `pollMs`
  Busy,         // OPEN: another program holds the device, so it cannot be opened
};

struct SimFault {
  SimFaultAction action = SimFaultAction::Fail;
  SimRequest request = SimRequest::Dnload;     // not used by Corrupt
  std::uint32_t nth = 1;                       // 1-based count of requests of that kind
  std::uint32_t count = 1;                     // how many requests in a row from the nth
  std::uint8_t status = 0x03;                  // DfuError: errWRITE unless told
  std::uint32_t address = 0;                   // Corrupt
  std::uint8_t xorMask = 0x01;                 // Corrupt
  std::optional<std::uint32_t> returnAfterMs;  // Disconnect: none = the device's returnDelayMs
  bool stayAway = false;                       // Disconnect: never comes back by itself
  std::uint32_t bytes = 0;                     // Partial, Short
  std::uint32_t offset = 0;                    // Garble
  std::uint8_t state = 0;                      // WrongState
  std::uint32_t pollMs = 0;                    // PollTimeout
};

// What an upload of the OTP alternate that runs past its declared 528 bytes gets.
enum class SimOtpOverrun {
  ShortFrame,   // the bytes up to the end, as a short frame that ends the upload
  Stall,        // a stall (errTARGET)
  WholeWindow,  // the whole 2 KiB window, unique ID included
};

// Where the public sources on the real boot loader leave a choice, these settings make it. The
// defaults are the strict chip; the other values keep kinder behaviour that hosts once relied on.
struct SimStrictness {
  // Read protection level 1 refuses every alternate (reads, writes, set-address) with errVENDOR;
  // off: only flash is refused and an option write may drop the level.
  bool protectAllAlternates = true;
  SimOtpOverrun otpOverrun = SimOtpOverrun::ShortFrame;
  // The unique ID and flash size can be read through the OTP alternate at their own addresses
  // (with WholeWindow they always can). Undocumented either way: on by default, so that a host
  // that asks for the ID on its own gets it; off is the device that withholds it.
  bool uniqueIdReadable = true;
  // The GETSTATUS that starts work answers only when the work is done, reporting busyPollMs
  // after a command and 0 after a data block; off: it answers at once with the exact time left.
  bool holdBusyAnswer = true;
  std::uint32_t busyPollMs = 100;
  // Option bits the part does not define read back as 0; on: they keep what was written.
  bool keepUndefinedOptionBits = false;
  // A download whose work fails reports dfuERROR at its first GETSTATUS instead of dfuDNBUSY.
  bool errorAtFirstStatus = false;
};

// The kinder simulator of old: every setting above at its lenient value.
SimStrictness LenientStrictness();

struct SimDeviceConfig {
  SimInterfaceClass interfaceClass = SimInterfaceClass::First;
  std::string serialNumber;  // empty: derived from the unique ID as the boot loader does
  std::string instance;      // device-instance part of the path; empty: the serial, lower case
  std::uint16_t vid = 0x0483;
  std::uint16_t pid = 0xDF11;
  std::uint16_t bcdDevice = 0x2200;
  std::uint16_t bcdDFUVersion = 0x011A;
  std::uint32_t flashKiB = 1024;                           // 256, 512, 1024 or 2048 (dual bank)
  std::vector<std::string> interfaceStrings;               // empty: the boot loader's for flashKiB
  std::array<std::uint8_t, kSimOptionSize> optionBytes{};  // factory values, see DefaultSimDevice
  bool optionComplements = true;  // bytes 2-7 and 10-15 read as complements of 0-1 and 8-9
  std::array<std::uint8_t, kSimOtpBlockSize * kSimOtpBlockCount> otp{};
  std::array<std::uint8_t, kSimOtpBlockCount> otpLocks{};
  std::vector<std::uint32_t> lockedOtpBlocks;  // locked at every start (locking is permanent)
  std::array<std::uint8_t, 12> uniqueId{};
  std::uint32_t leaveDelayMs = 0;      // from the reset until the bus notices the device is gone
  std::uint32_t returnDelayMs = 1000;  // from leaving until it registers anew
  // How it registers anew: under another instance (so another path) when set, and as its
  // application instead of in DFU mode (on the bus, but no DFU interface) when returnInDfu is off.
  std::string returnInstance;
  bool returnInDfu = true;
  SimTiming timing;
  SimStrictness strictness;
  std::vector<SimFault> faults;
  std::string imageFolder;  // where flash, option bytes and OTP persist; empty: memory only
};

// An STM32F40x with 1 MiB flash, factory option bytes, empty OTP and a fixed unique ID.
SimDeviceConfig DefaultSimDevice(const std::string& imageFolder);

// Which boot loader's wording of the memory map. The application notes give two blanks after
// "Internal Flash" and the OTP area of one bank; F42x boot loaders have been seen to report one
// blank and the OTP area of both banks.
enum class SimStringVariant { Documented, F42x };

// The boot loader's interface strings of the alternates 0-3 for a flash size.
std::vector<std::string> BootLoaderInterfaceStrings(
    std::uint32_t flashKiB, SimStringVariant variant = SimStringVariant::Documented);
bool IsSupportedFlashSize(std::uint32_t flashKiB);

// Whether `instance` can stand in a device path and name an image folder: letters, digits and
// & _ - . only, not "." or "..".
bool IsValidInstance(const std::string& instance);

// The 12-character serial number that the boot loader derives from the unique ID.
std::string SerialFromUniqueId(const std::array<std::uint8_t, 12>& uniqueId);
// Option bytes with the complement bytes filled in from bytes 0, 1, 8 and 9.
std::array<std::uint8_t, kSimOptionSize> WithOptionComplements(
    std::array<std::uint8_t, kSimOptionSize> bytes);

}  // namespace kestrune
