#pragma once
// Every time limit, pause and retry count of the talk with the boot loader, in one table: the
// place to tune them for a slow hub or a slower part. Times in milliseconds.

#include <cstdint>

namespace kestrune::dfu_timing {

// One request or block transfer is tried this often before it counts as failed, with this pause
// after an abort between two tries.
inline constexpr int kRequestTries = 4;
inline constexpr std::uint32_t kRetryPauseMs = 10;

// A quick state check: before a transfer, and before the option block's write.
inline constexpr std::uint32_t kReadyCheckMs = 20;
// A state the device reaches at once after a request: dfuIDLE before the option block, the end of
// a block's dfuDNBUSY, the confirmation of a Set Address.
inline constexpr std::uint32_t kStateWaitMs = 250;
// The longest sector erase of the datasheets (128 KiB at x8 parallelism) with half again as
// margin: a boot loader may report 100 ms and stay busy that long.
inline constexpr std::uint32_t kLongestEraseMs = 6000;

// Reads of the unique ID before the device is logged without it.
inline constexpr int kUniqueIdTries = 3;
// Erases of one sector before the run fails.
inline constexpr int kEraseTries = 4;

// After Read Unprotect the chip erases all its flash before it resets: up to 32 s for 2 MiB at
// x8 parallelism, with margin.
inline constexpr std::uint32_t kUnprotectLeaveMs = 40000;
// The reset after an option-byte write, until the device registers anew.
inline constexpr std::uint32_t kOptionResetLeaveMs = 2000;
// While the device is away: how often the removal and the new registration are looked for, how
// long the bus is given before the first count, how often it is counted at most, and how long the
// device is given between its count and its opening.
inline constexpr std::uint32_t kRegistrationPollMs = 100;
inline constexpr std::uint32_t kFirstCountAfterMs = 200;
inline constexpr int kRegistrationCounts = 50;
inline constexpr std::uint32_t kOpenAfterCountMs = 50;
// A desktop service may probe the device for a moment after it registered anew.
inline constexpr std::uint32_t kReopenMs = 2000;

}  // namespace kestrune::dfu_timing
