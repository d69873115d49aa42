// A run that skips unchanged flash, on devices that hold different things before it: whatever
// they held, the flash after it is what a plain run leaves, and only the work it needed was done.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job_bench.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kImageSize = 20000;  // sector 0 whole, 3616 bytes of sector 1
constexpr std::uint32_t kTwoSectors = 32768;

// What a plain run leaves in the two sectors: the image, then erased flash.
std::vector<std::uint8_t> PlainResult(const std::vector<std::uint8_t>& image) {
  std::vector<std::uint8_t> flash(kTwoSectors, 0xFF);
  std::copy(image.begin(), image.end(), flash.begin());
  return flash;
}

std::vector<std::string> SectorStatuses(const JobBench& bench) {
  std::vector<std::string> statuses;
  for (const std::string& status : bench.host.Statuses()) {
    if (status.find("Sektor") != std::string::npos ||
        status.find("Flash ab") != std::string::npos) {
      statuses.push_back(status);
    }
  }
  return statuses;
}

TEST(SkipUnchanged, DoesOnlyTheWorkTheHeldFlashNeedsAndLeavesWhatAPlainRunLeaves) {
  enum Held { Blank, Same, DataBehindTheImage, Different };
  const struct {
    const char* name;
    Held held;
    int erases;
    std::vector<std::string> statuses;
  } cases[] = {
      {"blank",
       Blank,
       0,
       {"... Sektor 0   (08000000h) ist leer ...", "... Sektor 1   (08004000h) ist leer ...",
        "... Programmiere Flash ab (08000000h) ...", "... Prüfe den Flash ab (08000000h) ..."}},
      {"the same image",
       Same,
       0,
       {"... Sektor 0   (08000000h) ist unverändert ...",
        "... Sektor 1   (08004000h) ist unverändert ..."}},
      {"the image, and data behind it in its last sector",
       DataBehindTheImage,
       1,
       {"... Sektor 0   (08000000h) ist unverändert ...", "... Lösche Sektor 1   (08004000h) ...",
        "... Programmiere Flash ab (08004000h) ...", "... Prüfe den Flash ab (08004000h) ..."}},
      {"a different image",
       Different,
       2,
       {"... Lösche Sektor 0   (08000000h) ...", "... Lösche Sektor 1   (08004000h) ...",
        "... Programmiere Flash ab (08000000h) ...", "... Prüfe den Flash ab (08000000h) ..."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JobBench bench(DeviceWithOptionsInPlace());
    bench.WriteFirmware(kImageSize);
    std::vector<std::uint8_t> held = PlainResult(bench.firmware);
    if (c.held == Blank) held.clear();
    if (c.held == DataBehindTheImage) held[kTwoSectors - 1] = 0x00;
    if (c.held == Different) {
      for (std::uint8_t& byte : held) byte = static_cast<std::uint8_t>(byte ^ 0x5A);
    }
    if (!held.empty()) {
      ASSERT_TRUE(bench.bench.ProgramFlash(bench.device, kFlashStart, held));
    }
    bench.inputs.skipUnchanged = true;
    bench.Run();

    bench.ExpectCleanEnd();
    EXPECT_EQ(bench.host.Outcome(), RunOutcome::Succeeded);
    EXPECT_TRUE(bench.host.Errors().empty());
    EXPECT_EQ(bench.Flash(kTwoSectors), PlainResult(bench.firmware));
    EXPECT_EQ(bench.Erases(), c.erases);
    // The sectors are read first, then each one's action is named.
    std::vector<std::string> statuses = {"... Lese den Flash ab (08000000h) ..."};
    statuses.insert(statuses.end(), c.statuses.begin(), c.statuses.end());
    EXPECT_EQ(SectorStatuses(bench), statuses);
    // Skipped sectors count as programmed and verified: each phase still ends at the image's size.
    EXPECT_EQ(bench.host.LastProgress(RunPhase::Programming), kImageSize);
    EXPECT_EQ(bench.host.LastProgress(RunPhase::Verifying), kImageSize);
    EXPECT_NE(bench.Log(), "");
  }
}

}  // namespace
}  // namespace kestrune
