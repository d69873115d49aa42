#include "dfu/option_bits.h"

namespace kestrune {
namespace {

// USER: nRST_STDBY, nRST_STOP, WDG_SW and BOR_LEV; bit 4 is BFB2 on dual-bank parts only.
constexpr std::uint8_t kUserBits = 0xEC;
constexpr std::uint8_t kBfb2 = 0x10;
constexpr std::uint8_t kDb1m = 0x40;    // bit 14 of the nWRP half-word
constexpr std::uint8_t kSprmod = 0x80;  // bit 15

}  // namespace

OptionBits DefinedOptionBits(std::uint32_t flashKiB) {
  switch (flashKiB) {
    case 2048:
      return {static_cast<std::uint8_t>(kUserBits | kBfb2), 0xFF, 0xFF,
              static_cast<std::uint8_t>(0x0F | kDb1m | kSprmod)};
    case 512:
      return {kUserBits, 0xFF, 0xFF, kSprmod};
    case 256:
      return {kUserBits, 0xFF, 0x3F, kSprmod};
    default:
      return {kUserBits, 0xFF, 0xFF, 0x0F};
  }
}

bool SameDefinedOptionBits(const OptionBits& read, const OptionBits& wanted,
                           std::uint32_t flashKiB) {
  const OptionBits defined = DefinedOptionBits(flashKiB);
  for (std::size_t i = 0; i < defined.size(); ++i) {
    if (((read[i] ^ wanted[i]) & defined[i]) != 0) return false;
  }
  return true;
}

}  // namespace kestrune
