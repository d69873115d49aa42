// dfu-util, an independent DFU host, against the simulated boot loader: the simulated bench is
// preloaded into it in place of libusb.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace kestrune::simtest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class PeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef KESTRUNE_SIM_LIBUSB
    GTEST_SKIP() << "the simulated libusb is built only for native Linux without sanitizers";
#else
    if (std::system("command -v dfu-util >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "dfu-util is not installed";
    }
    m_folder = fs::path(KESTRUNE_BINARY_DIR) / "sim-test" / "peer" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(m_folder);
    fs::create_directories(m_folder);
#endif
  }

  // Runs dfu-util with `arguments`; returns its exit status, its output in `output`.
  int DfuUtil(const std::string& arguments, std::string& output) {
#ifdef KESTRUNE_SIM_LIBUSB
    const fs::path log = m_folder / "dfu-util.log";
    const std::string command = "LD_PRELOAD='" KESTRUNE_SIM_LIBUSB "' KESTRUNE_SIM_FOLDER='" +
                                (m_folder / "device").string() + "' dfu-util " + arguments + " >'" +
                                log.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    const Bytes text = ReadFile(log);
    output.assign(text.begin(), text.end());
    return status;
#else
    (void)arguments;
    (void)output;
    return -1;
#endif
  }

  fs::path m_folder;
};

TEST_F(PeerTest, ListsTheFourAlternatesWithTheirMemoryMaps) {
  std::string out;
  ASSERT_EQ(DfuUtil("-l", out), 0) << out;
  for (const char* name :
       {"alt=0, name=\"@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg\"",
        "alt=1, name=\"@Option Bytes  /0x1FFFC000/01*016 e\"",
        "alt=2, name=\"@OTP Memory /0x1FFF7800/01*512 e,01*016 e\"",
        "alt=3, name=\"@Device Feature/0xFFFF0000/01*004 e\""}) {
    EXPECT_NE(out.find(name), std::string::npos) << name << "\n" << out;
  }
  EXPECT_NE(out.find("[0483:df11] ver=2200"), std::string::npos) << out;
  EXPECT_NE(out.find("serial=\"367F34683033\""), std::string::npos) << out;
}

TEST_F(PeerTest, DownloadIsErasedWrittenAndReadBack) {
  Bytes firmware(5000);
  std::mt19937 random(7);
  for (auto& b : firmware) b = static_cast<std::uint8_t>(random());
  {
    std::ofstream(m_folder / "firmware.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(firmware.data()), firmware.size());
  }
  std::string out;
  ASSERT_EQ(DfuUtil("-a 0 -s 0x08000000 -D '" + (m_folder / "firmware.bin").string() + "'", out), 0)
      << out;
  ASSERT_EQ(DfuUtil("-a 0 -s 0x08000000:5000 -U '" + (m_folder / "read.bin").string() + "'", out),
            0)
      << out;
  EXPECT_EQ(ReadFile(m_folder / "read.bin"), firmware);
  const Bytes flash = ReadFile(m_folder / "device" / "flash.bin");
  ASSERT_EQ(flash.size(), 1024u * 1024u);
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 5000), firmware);
  EXPECT_EQ(flash[5000], 0xFF);
}

TEST_F(PeerTest, OptionWriteResetsTheChipInTheMiddleOfTheStatusPoll) {
  {
    const Bytes options{0xE3, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                        0xFF, 0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::ofstream(m_folder / "options.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(options.data()), options.size());
  }
  std::string out;
  DfuUtil("-a 1 -s 0x1FFFC000:16 -D '" + (m_folder / "options.bin").string() + "'", out);
  EXPECT_NE(out.find("Error during download get_status"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(m_folder / "device" / "options.bin"),
            (Bytes{0xE3, 0xAA, 0x1C, 0x55, 0x1C, 0x55, 0x1C, 0x55, 0xFF, 0x3F, 0x00, 0xC0, 0x00,
                   0xC0, 0x00, 0xC0}));
}

}  // namespace
}  // namespace kestrune::simtest
