#pragma once
// Which bits of the option block's bytes 0, 1, 8 and 9 a part defines. A chip may read the
// others back as anything (many read 0), so option bytes are compared by defined bits only.

#include <array>
#include <cstdint>

namespace kestrune {

using OptionBits = std::array<std::uint8_t, 4>;  // bytes 0, 1, 8, 9 of the block

// The defined bits, told apart by flash size: 2 MiB dual-bank parts (F42x/F43x: BFB2 in USER,
// nWRP of 12 sectors, DB1M, SPRMOD), 1 MiB (F40x/F41x: nWRP of 12 sectors), 512 and 256 KiB
// (F401/F411/F446: nWRP of 8 or 6 sectors, SPRMOD). Unknown sizes: the 1 MiB set.
OptionBits DefinedOptionBits(std::uint32_t flashKiB);

// Whether `read` has the defined bits of `wanted`.
bool SameDefinedOptionBits(const OptionBits& read, const OptionBits& wanted,
                           std::uint32_t flashKiB);

}  // namespace kestrune
