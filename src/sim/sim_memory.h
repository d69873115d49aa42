#pragma once
// The memories behind the boot loader's alternate settings: flash (erases per sector to 0xFF,
// programs only 1->0), the option block, the OTP area with its lock bytes and the unique ID, and
// the device-feature word. Flash, option bytes and OTP persist in an image folder when one is
// given, written through on every change so that nothing is lost when the process ends.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace kestrune {

struct SimSector {
  std::uint32_t start = 0;
  std::uint32_t size = 0;
};

class SimMemory {
 public:
  // Loads the images from config.imageFolder or creates them there from the factory contents.
  // On failure `error` explains it and the memory must not be used.
  SimMemory(const SimDeviceConfig& config, std::string& error);

  // Where a range lies: the alternate whose memory holds it, or none.
  bool Contains(std::uint8_t alternate, std::uint32_t address) const;
  bool IsFlash(std::uint32_t address) const;
  bool ReadProtected() const { return m_options[1] != 0xAA; }

  // Copies up to `length` bytes from `address` (clipped at the end of its area) into `out`.
  // Option bits the part does not define read as 0 unless the strictness keeps them; `direct`
  // reads what is stored, the whole OTP window included, as no host can.
  // Returns the count, or none when the address is outside the alternate's memory. Read
  // protection is the caller's to check.
  std::optional<std::uint32_t> Read(std::uint8_t alternate, std::uint32_t address,
                                    std::uint32_t length, std::uint8_t* out,
                                    bool direct = false) const;
  // Writes as the hardware does; returns a DFU status code (0 = OK).
  std::uint8_t Write(std::uint8_t alternate, std::uint32_t address, const std::uint8_t* data,
                     std::uint32_t length);
  std::uint8_t EraseSectorAt(std::uint32_t address);
  std::uint8_t MassErase();
  // Read unprotect: all flash erased, option bytes back to factory values.
  std::uint8_t Unprotect();
  void LockOtpBlock(std::uint32_t block);

  // The sector holding `address`, if it is flash.
  std::optional<SimSector> SectorAt(std::uint32_t address) const;
  std::uint32_t FlashSize() const { return static_cast<std::uint32_t>(m_flash.size()); }
  bool IsOptionBlock(std::uint32_t address) const;

 private:
  bool SectorWriteProtected(std::uint32_t sectorIndex) const;
  bool Persist(const char* name, const std::uint8_t* image, std::size_t offset, std::size_t length);
  bool PersistFlash(std::size_t offset, std::size_t length);
  bool PersistOptions();
  bool PersistOtp(std::size_t offset, std::size_t length);
  std::uint8_t OtpWindowByte(std::uint32_t offset) const;
  // The readable range of the OTP alternate that holds `address` (start, size), if any.
  std::optional<SimSector> OtpRangeAt(std::uint32_t address, bool direct = false) const;

  std::string m_folder;
  std::vector<std::uint8_t> m_flash;
  std::vector<SimSector> m_sectors;
  std::array<std::uint8_t, kSimOptionSize> m_factoryOptions;
  bool m_optionComplements;
  SimStrictness m_strictness;
  std::uint32_t m_flashKiB;
  bool m_dualBank;
  // Bank 1 options, then bank 2 options (only used on dual-bank parts).
  std::array<std::uint8_t, 2 * kSimOptionSize> m_options{};
  // 16 blocks of 32 bytes, then 16 lock bytes: the layout of the device's own addresses.
  std::array<std::uint8_t, kSimOtpBlockCount * kSimOtpBlockSize + kSimOtpBlockCount> m_otp{};
  std::array<std::uint8_t, 12> m_uniqueId;
  std::array<std::uint8_t, kSimFeatureSize> m_feature{};
};

}  // namespace kestrune
