#pragma once
// The DfuSe memory commands: address pointer, sector erase, data blocks of 2048 bytes addressed
// from the pointer (block n at pointer + (n - 2) * 2048), and the option-byte block behind
// alternate setting 1. Each starts by bringing the device to dfuIDLE; each assumes an open
// connection with the right alternate setting selected (the option-byte operations select
// alternate setting 1 themselves). Every step is tried at most four times; pauses are 10 ms on
// the session's clock. Nothing here shows a message: results are true or false.
//
// WriteMemory and ReadMemory poll the session's abort flag before every data block and report a
// seen abort as true: callers check the flag after every call that can see one. Each data block
// adds its useful length to the session's progress counter and posts the progress notice.
// Their optional `progress` out-value is set to 0 on entry and, before each data block, to that
// block's offset from the start address, so after a failure it holds where the transfer stopped.

#include <cstdint>

#include "dfu/dfu_session.h"
#include "dfu/stdfu.h"

namespace kestrune {

inline constexpr std::uint32_t kOptionBytesAddress = 0x1FFFC000u;
inline constexpr std::uint8_t kOptionBytesAlternate = 1;
inline constexpr std::uint32_t kOptionBlockSize = 16;
inline constexpr std::uint32_t kDataBlockSize = 2048;

// Reads the 16-byte option block and hands out its bytes 0, 1, 8 and 9. The out-bytes are
// untouched unless the result is true.
bool ReadOptionBytes(DfuSession& session, DfuHandle handle, std::uint8_t* byte0,
                     std::uint8_t* byte1, std::uint8_t* byte8, std::uint8_t* byte9);

// Writes the option block with bytes 0, 1, 8 and 9 (the others sent as 0xFF). After a successful
// write the device resets and leaves the bus; the caller closes the connection.
bool WriteOptionBytes(DfuSession& session, DfuHandle handle, std::uint8_t byte0, std::uint8_t byte1,
                      std::uint8_t byte8, std::uint8_t byte9);

// Erases the flash sector that holds `address`.
bool EraseSector(DfuSession& session, DfuHandle handle, std::uint32_t address);

// Writes `length` bytes of `data` from `address`. True when all was sent or an abort was seen;
// false when a step failed four times or the range is beyond what 16-bit block numbers reach.
bool WriteMemory(DfuSession& session, DfuHandle handle, std::uint32_t address, std::uint32_t length,
                 const std::uint8_t* data, std::uint32_t* progress = nullptr);

// Reads `length` bytes from `address`. compare == 0: copies them into `buffer`; otherwise
// compares them with `buffer` and fails at the first difference. True when done or an abort was
// seen; false on a transfer failure, a difference, or a range beyond 16-bit block numbers. Every
// block is uploaded whole (2048 bytes); only its useful part is copied or compared.
bool ReadMemory(DfuSession& session, DfuHandle handle, std::uint32_t address, std::uint32_t length,
                std::uint8_t* buffer, std::uint32_t* progress = nullptr, int compare = 0);

}  // namespace kestrune
