#pragma once
// The DfuSe memory commands: address pointer, sector erase, data blocks of 2048 bytes addressed
// from the pointer (block n at pointer + (n - 2) * 2048), and the option-byte block behind
// alternate setting 1. Each starts by bringing the device to dfuIDLE; each assumes an open
// connection with the right alternate setting selected (the option-byte operations select
// alternate setting 1 themselves). Every step is tried at most four times; pauses are 10 ms on
// the session's clock. A command whose status ends in dfuERROR is a failed try, and no data block
// is sent before the device reported its set-address command carried out. Nothing here shows a
// message.
//
// The transfers (WriteMemory, ReadMemory, VerifyMemory) poll the session's abort flag before every
// data block and say how they ended. A stop request that is set when a transfer returns makes it
// Aborted, even after a failed step or the last block: the operator asked to stop, so the caller
// stops without an error and need not look at the flag again. Each data block adds its useful
// length to the session's progress counter and posts the progress notice. Their optional
// `progress` out-value is set to 0 on entry and, before each data block, to that block's offset
// from the start address, so after a failure it holds where the transfer stopped.

#include <cstdint>
#include <functional>

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

enum class TransferResult {
  Done,     // every block was sent or received (and, for a verify, equal)
  Failed,   // a step failed four times, a verify found a difference, or the range is beyond
            // what 16-bit block numbers reach
  Aborted,  // the session's stop request was set
  Short,    // a read only: the device ended the upload early with a short frame; `progress`
            // holds how many bytes it delivered
};

// Writes `length` bytes of `data` from `address`.
TransferResult WriteMemory(DfuSession& session, DfuHandle handle, std::uint32_t address,
                           std::uint32_t length, const std::uint8_t* data,
                           std::uint32_t* progress = nullptr);

// Reads `length` bytes from `address` into `buffer`. Every block is asked for whole (2048 bytes);
// only its useful part is copied. A short frame ends the read: Done when it still covered
// `length`, Short when not.
TransferResult ReadMemory(DfuSession& session, DfuHandle handle, std::uint32_t address,
                          std::uint32_t length, std::uint8_t* buffer,
                          std::uint32_t* progress = nullptr);

// Takes the useful bytes of each block read, at `offset` from the start; false: enough read.
using BlockReader =
    std::function<bool(std::uint32_t offset, const std::uint8_t* bytes, std::uint32_t length)>;

// Reads from `address` as ReadMemory does, but hands each block to `take` instead of a buffer,
// and ends as Done as soon as `take` has read enough: one address pointer for a long read whose
// reader may stop early.
TransferResult ReadMemoryWhile(DfuSession& session, DfuHandle handle, std::uint32_t address,
                               std::uint32_t length, const BlockReader& take);

// Reads `length` bytes from `address` as ReadMemory does and compares them with `expected`;
// fails at the first block that differs or when the device delivers less.
TransferResult VerifyMemory(DfuSession& session, DfuHandle handle, std::uint32_t address,
                            std::uint32_t length, const std::uint8_t* expected,
                            std::uint32_t* progress = nullptr);

// Sends Read Unprotect (0x92) on the flash alternate: the chip erases all its flash, drops read
// protection and resets, leaving the bus. True when the command was taken (the device did not
// report an error for it); the caller closes the connection and waits for the device.
bool ReadUnprotect(DfuSession& session, DfuHandle handle);

// Leaves DFU mode: sets the address pointer to `address` (the application's vector table) and
// sends the zero-length download; the device starts the application and leaves the bus. Needs
// the flash alternate selected.
bool LeaveDfuMode(DfuSession& session, DfuHandle handle, std::uint32_t address);

}  // namespace kestrune
