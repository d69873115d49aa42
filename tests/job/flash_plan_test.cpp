#include "job/flash_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "device/memory_map.h"

namespace kestrune {
namespace {

const char* const kF4 = "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg";

MemoryMap Map(std::vector<std::string> strings) {
  MemoryMap map;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    map.segments.push_back(*ParseMemorySegment(strings[i], static_cast<std::uint8_t>(i)));
  }
  return map;
}

// The planned erases as "index@address" texts, or the refusal's text.
std::string Describe(const FlashPlanResult& result) {
  if (const auto* refused = std::get_if<PlanRefused>(&result)) return RefusalText(*refused);
  const FlashPlan& plan = std::get<FlashPlan>(result);
  char text[64];
  std::snprintf(text, sizeof text, "alt %u at %08X:", plan.alternate, plan.startAddress);
  std::string described = text;
  for (const PlannedErase& erase : plan.erases) {
    std::snprintf(text, sizeof text, " %u@%08X", erase.index, erase.address);
    described += text;
  }
  return described;
}

TEST(FlashPlan, PlansTheSectorsThatCoverTheImageOrRefusesWithTheRunsText) {
  const std::string sizeError = "Die Firmware-Datei existiert nicht, oder hat die falsche Größe !";
  const struct {
    std::int64_t size;
    std::vector<std::string> map;  // empty: no device data
    std::uint32_t flashSize;
    std::string expected;
  } cases[] = {
      {20000, {kF4}, 0x100000, "alt 0 at 08000000: 0@08000000 1@08004000"},
      {16384, {kF4}, 0x100000, "alt 0 at 08000000: 0@08000000"},
      {65537,
       {kF4},
       0x100000,
       "alt 0 at 08000000: 0@08000000 1@08004000 2@08008000 3@0800C000 "
       "4@08010000"},
      // The flash segment is the first whose first sector is writable, whatever comes before.
      {1024,
       {"@Option Bytes  /0x1FFFC000/01*016 e", kF4},
       0x100000,
       "alt 1 at 08000000: 0@08000000"},
      // A segment shorter than the image is planned whole; programming goes on behind it.
      {20000, {"@Internal Flash  /0x08000000/01*016Kg"}, 0x100000, "alt 0 at 08000000: 0@08000000"},
      {1023, {kF4}, 0x100000, sizeError},
      {1024, {kF4}, 0x100000, "alt 0 at 08000000: 0@08000000"},
      {983040,
       {kF4},
       0x100000,
       "alt 0 at 08000000: 0@08000000 1@08004000 2@08008000 3@0800C000 "
       "4@08010000 5@08020000 6@08040000 7@08060000 8@08080000 "
       "9@080A0000 10@080C0000 11@080E0000"},
      {983041, {kF4}, 0x100000, sizeError},
      {0, {kF4}, 0x100000, sizeError},
      {-1, {kF4}, 0x100000, sizeError},
      {600000, {kF4}, 600000, "Die Firmware passt nicht in den Flash (Firmware = 585.9 kB) !"},
      {600000,
       {kF4},
       600001,
       "alt 0 at 08000000: 0@08000000 1@08004000 2@08008000 3@0800C000 "
       "4@08010000 5@08020000 6@08040000 7@08060000 8@08080000"},
      {20000, {}, 0x100000, "Es sind keine Gerätedaten vorhanden !"},
      // No flash is found before the image is judged.
      {1,
       {"@Internal Flash  /0x08000000/01*016Ka,03*016Kg"},
       0x100000,
       "In den Gerätedaten konnte kein Flash-Speicher gefunden werden !"},
      {20000,
       {"@Internal Flash  /0x08000000/02*016Kg/0x0800C000/02*016Kg"},
       0x100000,
       "Der Flash im Gerät ist nicht durchgehent (08008000h..0800C000h) !"},
      // A gap behind the last sector the image needs counts; one further on, or an odd sector
      // there, does not.
      {16384,
       {"@Internal Flash  /0x08000000/01*016Kg/0x0800C000/02*016Kg"},
       0x100000,
       "Der Flash im Gerät ist nicht durchgehent (08004000h..0800C000h) !"},
      {10000,
       {"@Internal Flash  /0x08000000/01*016Kg/0x0800C000/02*016Kg"},
       0x100000,
       "Der Flash im Gerät ist nicht durchgehent (08004000h..0800C000h) !"},
      {16384,
       {"@Internal Flash  /0x08000000/02*016Kg/0x0800C000/02*016Kg"},
       0x100000,
       "alt 0 at 08000000: 0@08000000"},
      {20000,
       {"@Internal Flash  /0x08000000/01*016Kg,01*003Kg,01*016Kg"},
       0x100000,
       "Falsches Flash Alignment !"},
      {16384,
       {"@Internal Flash  /0x08000000/01*016Kg,01*003Kg,01*016Kg"},
       0x100000,
       "alt 0 at 08000000: 0@08000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const MemoryMap map = Map(c.map);
    EXPECT_EQ(Describe(MakeFlashPlan(c.size, c.map.empty() ? nullptr : &map, c.flashSize)),
              c.expected);
  }
}

}  // namespace
}  // namespace kestrune
