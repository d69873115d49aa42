#include "sim/sim_memory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "dfu/option_bits.h"
#include "dfu/stdfu.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kOtpDataSize = kSimOtpBlockCount * kSimOtpBlockSize;
constexpr std::uint32_t kOtpImageSize = kOtpDataSize + kSimOtpBlockCount;
// Read protection byte: level 0, and level 2 (permanent); any other value is level 1.
constexpr std::uint8_t kLevel0 = 0xAA;
constexpr std::uint8_t kLevel2 = 0xCC;

std::vector<SimSector> FlashSectors(std::uint32_t flashKiB) {
  std::vector<SimSector> sectors;
  const std::uint32_t bankKiB = flashKiB == 2048 ? 1024 : flashKiB;
  std::uint32_t address = kSimFlashStart;
  for (std::uint32_t bank = 0; bank < flashKiB / bankKiB; ++bank) {
    std::vector<std::uint32_t> sizes = {16, 16, 16, 16, 64};
    for (std::uint32_t k = 128; k < bankKiB; k += 128) sizes.push_back(128);
    for (std::uint32_t kib : sizes) {
      sectors.push_back({address, kib * 1024});
      address += kib * 1024;
    }
  }
  return sectors;
}

// Reads `name` from `folder` into `image` when it exists; creates it from `image` otherwise.
bool LoadOrCreate(const std::filesystem::path& folder, const char* name, std::uint8_t* image,
                  std::size_t size, std::string& error) {
  const std::filesystem::path path = folder / name;
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    const auto actual = std::filesystem::file_size(path, ec);
    if (ec || actual != size) {
      error = "memory image " + path.string() + " has " + std::to_string(ec ? 0 : actual) +
              " bytes, expected " + std::to_string(size);
      return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(image), static_cast<std::streamsize>(size))) {
      error = "cannot read memory image " + path.string();
      return false;
    }
    return true;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out.write(reinterpret_cast<const char*>(image), static_cast<std::streamsize>(size)) ||
      !out.flush()) {
    error = "cannot create memory image " + path.string();
    return false;
  }
  return true;
}

}  // namespace

SimMemory::SimMemory(const SimDeviceConfig& config, std::string& error)
    : m_folder(config.imageFolder),
      m_flash(static_cast<std::size_t>(config.flashKiB) * 1024, 0xFF),
      m_sectors(FlashSectors(config.flashKiB)),
      m_factoryOptions(config.optionBytes),
      m_optionComplements(config.optionComplements),
      m_strictness(config.strictness),
      m_flashKiB(config.flashKiB),
      m_dualBank(config.flashKiB == 2048),
      m_uniqueId(config.uniqueId) {
  error.clear();
  std::fill(m_options.begin(), m_options.end(), 0xFF);
  std::copy(m_factoryOptions.begin(), m_factoryOptions.end(), m_options.begin());
  std::copy(config.otp.begin(), config.otp.end(), m_otp.begin());
  std::copy(config.otpLocks.begin(), config.otpLocks.end(), m_otp.begin() + kOtpDataSize);
  if (!m_folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(m_folder, ec);
    if (ec) {
      error = "cannot create the image folder " + m_folder + ": " + ec.message();
      return;
    }
    const std::size_t optionSize = m_dualBank ? 2 * kSimOptionSize : kSimOptionSize;
    if (!LoadOrCreate(m_folder, "flash.bin", m_flash.data(), m_flash.size(), error) ||
        !LoadOrCreate(m_folder, "options.bin", m_options.data(), optionSize, error) ||
        !LoadOrCreate(m_folder, "otp.bin", m_otp.data(), m_otp.size(), error)) {
      return;
    }
  }
  for (std::uint32_t block : config.lockedOtpBlocks) LockOtpBlock(block);
}

bool SimMemory::IsFlash(std::uint32_t address) const {
  return address >= kSimFlashStart && address - kSimFlashStart < m_flash.size();
}

bool SimMemory::IsOptionBlock(std::uint32_t address) const {
  return address == kSimOptionStart || (m_dualBank && address == kSimOptionBank2Start);
}

bool SimMemory::Contains(std::uint8_t alternate, std::uint32_t address) const {
  auto within = [address](std::uint32_t start, std::uint32_t size) {
    return address >= start && address - start < size;
  };
  switch (alternate) {
    case 0:
      return IsFlash(address);
    case 1:
      return within(kSimOptionStart, kSimOptionSize) ||
             (m_dualBank && within(kSimOptionBank2Start, kSimOptionSize));
    case 2:
      return OtpRangeAt(address).has_value();
    case 3:
      return within(kSimFeatureStart, kSimFeatureSize);
    default:
      return false;
  }
}

std::optional<SimSector> SimMemory::SectorAt(std::uint32_t address) const {
  for (const SimSector& s : m_sectors) {
    if (address >= s.start && address - s.start < s.size) return s;
  }
  return std::nullopt;
}

std::optional<SimSector> SimMemory::OtpRangeAt(std::uint32_t address, bool direct) const {
  std::vector<SimSector> ranges;
  if (direct || m_strictness.otpOverrun == SimOtpOverrun::WholeWindow) {
    ranges.push_back({kSimOtpStart, kSimOtpWindowSize});
  } else {
    ranges.push_back({kSimOtpStart, kSimOtpDeclaredSize});
    if (m_strictness.uniqueIdReadable) ranges.push_back({kSimUniqueIdStart, kSimUniqueIdAreaSize});
  }
  for (const SimSector& r : ranges) {
    if (address >= r.start && address - r.start < r.size) return r;
  }
  return std::nullopt;
}

std::uint8_t SimMemory::OtpWindowByte(std::uint32_t offset) const {
  if (offset < kOtpImageSize) return m_otp[offset];
  const std::uint32_t address = kSimOtpStart + offset;
  if (address >= kSimUniqueIdStart && address < kSimUniqueIdStart + 12) {
    return m_uniqueId[address - kSimUniqueIdStart];
  }
  const std::uint32_t kib = static_cast<std::uint32_t>(m_flash.size() / 1024);
  if (address == kSimFlashSizeStart) return static_cast<std::uint8_t>(kib);
  if (address == kSimFlashSizeStart + 1) return static_cast<std::uint8_t>(kib >> 8);
  return 0xFF;
}

std::optional<std::uint32_t> SimMemory::Read(std::uint8_t alternate, std::uint32_t address,
                                             std::uint32_t length, std::uint8_t* out,
                                             bool direct) const {
  if (alternate == 2 ? !OtpRangeAt(address, direct) : !Contains(alternate, address)) {
    return std::nullopt;
  }
  std::uint32_t start = 0;
  std::uint32_t size = 0;
  switch (alternate) {
    case 0:
      start = kSimFlashStart;
      size = static_cast<std::uint32_t>(m_flash.size());
      break;
    case 1:
      start = address >= kSimOptionStart ? kSimOptionStart : kSimOptionBank2Start;
      size = kSimOptionSize;
      break;
    case 2: {
      const SimSector range = *OtpRangeAt(address, direct);
      start = range.start;
      size = range.size;
      break;
    }
    default:
      start = kSimFeatureStart;
      size = kSimFeatureSize;
      break;
  }
  const std::uint32_t offset = address - start;
  const std::uint32_t count = std::min(length, size - offset);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t at = offset + i;
    switch (alternate) {
      case 0:
        out[i] = m_flash[at];
        break;
      case 1:
        out[i] = m_options[(start == kSimOptionStart ? 0 : kSimOptionSize) + at];
        break;
      case 2:
        out[i] = OtpWindowByte(start - kSimOtpStart + at);
        break;
      default:
        out[i] = m_feature[at];
        break;
    }
  }
  if (alternate == 1 && start == kSimOptionStart && !direct &&
      !m_strictness.keepUndefinedOptionBits) {
    const OptionBits defined = DefinedOptionBits(m_flashKiB);
    constexpr std::uint32_t kDefinedAt[4] = {0, 1, 8, 9};
    for (std::size_t k = 0; k < defined.size(); ++k) {
      if (kDefinedAt[k] >= offset && kDefinedAt[k] - offset < count) {
        out[kDefinedAt[k] - offset] &= defined[k];
      }
    }
  }
  return count;
}

bool SimMemory::SectorWriteProtected(std::uint32_t sectorIndex) const {
  const std::size_t bank = sectorIndex / 12;
  const std::size_t base = bank * kSimOptionSize;
  const std::uint32_t nWrp = m_options[base + 8] | (m_options[base + 9] << 8);
  return (nWrp & (1u << (sectorIndex % 12))) == 0;
}

std::uint8_t SimMemory::Write(std::uint8_t alternate, std::uint32_t address,
                              const std::uint8_t* data, std::uint32_t length) {
  if (length == 0 || !Contains(alternate, address) ||
      !Contains(alternate, address + (length - 1)) || address + (length - 1) < address) {
    return errTARGET;
  }
  switch (alternate) {
    case 0: {
      if (ReadProtected()) return errVENDOR;
      const std::uint32_t end = address + length;
      for (std::uint32_t i = 0; i < m_sectors.size(); ++i) {
        const SimSector& s = m_sectors[i];
        const std::uint32_t from = std::max(address, s.start);
        const std::uint32_t to = std::min(end, s.start + s.size);
        // A protected sector keeps its contents without reporting an error, as the chip does.
        if (from >= to || SectorWriteProtected(i)) continue;
        for (std::uint32_t at = from; at < to; ++at) {
          m_flash[at - kSimFlashStart] &= data[at - address];
        }
      }
      const std::uint32_t offset = address - kSimFlashStart;
      return PersistFlash(offset, length) ? OK : errWRITE;
    }
    case 1: {
      if (!IsOptionBlock(address) || length != kSimOptionSize) return errTARGET;
      std::array<std::uint8_t, kSimOptionSize> block;
      std::copy(data, data + kSimOptionSize, block.begin());
      if (m_optionComplements) block = WithOptionComplements(block);
      const std::size_t base = address == kSimOptionStart ? 0 : kSimOptionSize;
      // From level 1 back to level 0 the chip erases all flash before it lets anyone read it.
      const bool leavesLevel1 =
          base == 0 && ReadProtected() && m_options[1] != kLevel2 && block[1] == kLevel0;
      std::copy(block.begin(), block.end(), m_options.begin() + base);
      if (leavesLevel1) {
        std::fill(m_flash.begin(), m_flash.end(), 0xFF);
        if (!PersistFlash(0, m_flash.size())) return errWRITE;
      }
      return PersistOptions() ? OK : errWRITE;
    }
    case 2: {
      const std::uint32_t offset = address - kSimOtpStart;
      if (offset + length > kOtpImageSize) return errTARGET;  // unique ID and the rest are ROM
      for (std::uint32_t i = offset; i < std::min(offset + length, kOtpDataSize); ++i) {
        if (m_otp[kOtpDataSize + i / kSimOtpBlockSize] != 0xFF) return errWRITE;
      }
      for (std::uint32_t i = 0; i < length; ++i) m_otp[offset + i] &= data[i];
      return PersistOtp(offset, length) ? OK : errWRITE;
    }
    default:
      std::copy(data, data + length, m_feature.begin() + (address - kSimFeatureStart));
      return OK;
  }
}

std::uint8_t SimMemory::EraseSectorAt(std::uint32_t address) {
  if (ReadProtected()) return errVENDOR;
  for (std::uint32_t i = 0; i < m_sectors.size(); ++i) {
    const SimSector& s = m_sectors[i];
    if (address < s.start || address - s.start >= s.size) continue;
    if (SectorWriteProtected(i)) return OK;
    std::fill_n(m_flash.begin() + (s.start - kSimFlashStart), s.size, 0xFF);
    return PersistFlash(s.start - kSimFlashStart, s.size) ? OK : errERASE;
  }
  return errTARGET;
}

std::uint8_t SimMemory::MassErase() {
  if (ReadProtected()) return errVENDOR;
  for (std::uint32_t i = 0; i < m_sectors.size(); ++i) {
    if (SectorWriteProtected(i)) continue;
    const SimSector& s = m_sectors[i];
    std::fill_n(m_flash.begin() + (s.start - kSimFlashStart), s.size, 0xFF);
  }
  return PersistFlash(0, m_flash.size()) ? OK : errERASE;
}

std::uint8_t SimMemory::Unprotect() {
  std::fill(m_flash.begin(), m_flash.end(), 0xFF);
  std::fill(m_options.begin(), m_options.end(), 0xFF);
  // Factory values, but unprotected whatever the factory said: that is what was asked for.
  std::array<std::uint8_t, kSimOptionSize> options = m_factoryOptions;
  options[1] = 0xAA;
  if (m_optionComplements) options = WithOptionComplements(options);
  std::copy(options.begin(), options.end(), m_options.begin());
  return PersistFlash(0, m_flash.size()) && PersistOptions() ? OK : errERASE;
}

void SimMemory::LockOtpBlock(std::uint32_t block) {
  if (block >= kSimOtpBlockCount) return;
  m_otp[kOtpDataSize + block] = 0x00;
  PersistOtp(kOtpDataSize + block, 1);
}

bool SimMemory::Persist(const char* name, const std::uint8_t* image, std::size_t offset,
                        std::size_t length) {
  if (m_folder.empty()) return true;
  std::fstream file(std::filesystem::path(m_folder) / name,
                    std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(reinterpret_cast<const char*>(image + offset), static_cast<std::streamsize>(length));
  file.flush();
  return static_cast<bool>(file);
}

bool SimMemory::PersistFlash(std::size_t offset, std::size_t length) {
  return Persist("flash.bin", m_flash.data(), offset, length);
}

bool SimMemory::PersistOptions() {
  return Persist("options.bin", m_options.data(), 0,
                 m_dualBank ? 2 * kSimOptionSize : kSimOptionSize);
}

bool SimMemory::PersistOtp(std::size_t offset, std::size_t length) {
  return Persist("otp.bin", m_otp.data(), offset, length);
}

}  // namespace kestrune
