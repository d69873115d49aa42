// Discovery and what the window shows of it, against simulated devices.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/control_ids.h"
#include "app/discovery_display.h"
#include "device/enumerate.h"
#include "platform/clock.h"
#include "sim/sim_bench.h"
#include "testkit/watched_stdfu.h"
#include "usb/usb_stdfu.h"

namespace kestrune {
namespace {

// The texts the controls hold after the effects.
void ApplyTextEffects(const ControlEffects& effects, std::map<int, std::string>& texts) {
  for (const ControlEffect& effect : effects) {
    if (effect.kind == ControlEffectKind::SetText) texts[effect.control] = effect.text;
    if (effect.kind == ControlEffectKind::Empty) texts[effect.control].clear();
  }
}

using Kind = ControlEffectKind;

// A discovery with the effects it has on a window that showed `shown`.
struct Displayed : Discovery {
  ControlEffects effects;
};

Displayed Show(Discovery found, const DiscoveryState& shown = {}) {
  Displayed displayed{std::move(found), {}};
  displayed.effects = DiscoveryEffects(displayed, shown, UtcCalendar);
  return displayed;
}

class EnumerateTest : public ::testing::Test {
 protected:
  std::size_t Add(SimDeviceConfig config) {
    const SimAddResult added = m_bench.AddDevice(std::move(config));
    EXPECT_TRUE(added.device) << added.error;
    return added.device.value_or(0);
  }
  std::size_t Add() { return Add(DefaultSimDevice("")); }

  Displayed Run(DiscoveryState shown = {}) {
    Discovery discovery = Enumerate(m_probe, m_bench, m_clock);
    EXPECT_EQ(m_probe.OpenConnections(), 0) << "every opened connection is closed";
    return Show(std::move(discovery), shown);
  }

  VirtualClock m_clock;
  SimBench m_bench{m_clock};
  UsbStdfuLibrary m_usb{m_bench, m_clock};
  testkit::WatchedStdfu m_probe{m_usb};
};

// Texts of the default simulated device (unique ID 31 00 47 00 0E "Q307486", OTP empty).
const ControlEffects kDefaultDeviceShown = {
    {Kind::UpdateControls, 0, ""},          {Kind::SetText, kIdVendorId, "0483h"},
    {Kind::SetText, kIdProductId, "DF11h"}, {Kind::SetText, kIdDfuVersion, "011Ah"},
    {Kind::SetText, kIdDeviceBcd, "2200h"},
};
const ControlEffects kDefaultIdentityShown = {
    {Kind::SetText, kIdUniqueId, "3100-4700-0E-Q307486"},
    {Kind::SetText, kIdSerialNumber, "Nicht programmiert"},
    {Kind::SetText, kIdAssignmentDate, "---"},
    {Kind::SetText, kIdMacA, "AC-DE-48-85-51-8A"},
    {Kind::SetText, kIdMacB, "AC-DE-48-85-51-8B"},
};
const ControlEffects kCountBecomesOne = {{Kind::RepaintNow, kIdDeviceCount, ""},
                                         {Kind::SetText, kIdDeviceCount, "1"}};
const ControlEffects kIdentityRepainted = {{Kind::Repaint, kIdSerialNumber, ""},
                                           {Kind::Repaint, kIdAssignmentDate, ""},
                                           {Kind::Repaint, kIdMacA, ""},
                                           {Kind::Repaint, kIdMacB, ""}};

ControlEffects Join(std::initializer_list<ControlEffects> parts) {
  ControlEffects all;
  for (const ControlEffects& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(EnumerateTest, OneGoodDeviceIsShownWhole) {
  const std::size_t device = Add();
  const Displayed found = Run();
  EXPECT_EQ(found.deviceCount, 1);
  EXPECT_EQ(found.devicePath, m_bench.PathOf(device));
  // Windows writes the class in lower case; the tail test ignores case.
  EXPECT_TRUE(found.devicePath.ends_with("{3fe809ab-fb91-4cb5-a643-69670d52366e}"));
  EXPECT_FALSE(found.deviceError);
  EXPECT_EQ(found.identityState, IdentityState::NotProgrammed);
  ASSERT_TRUE(found.memoryMap);
  EXPECT_EQ(found.memoryMap->segments.size(), 4u);
  EXPECT_EQ(found.flashSize, 1024u * 1024);
  ASSERT_TRUE(found.dfu);
  EXPECT_EQ(found.dfu->alternateCount, 4u);
  EXPECT_EQ(found.hardwareId, "3100-4700-0E-Q307486");
  EXPECT_TRUE(found.otpReadStarted);
  ASSERT_TRUE(found.otpImage);
  EXPECT_EQ((*found.otpImage)[0], 0xFF);
  EXPECT_EQ((*found.otpImage)[kOtpLockOffset], 0xFF);
  EXPECT_EQ((*found.otpImage)[kUniqueIdOffset + 11], '6');
  EXPECT_EQ((*found.otpImage)[kOtpReadLength], 0x00);  // beyond the read: left clear
  EXPECT_EQ(found.effects, Join({kDefaultDeviceShown,
                                 {{Kind::SetText, kIdFlashSize, "1024 kB"}},
                                 kDefaultIdentityShown,
                                 kCountBecomesOne,
                                 kIdentityRepainted}));

  // Nothing changed: the same texts again, no repaint.
  const Displayed again = Run({1, false, IdentityState::NotProgrammed});
  EXPECT_EQ(again.effects, Join({kDefaultDeviceShown,
                                 {{Kind::SetText, kIdFlashSize, "1024 kB"}},
                                 kDefaultIdentityShown}));
}

TEST_F(EnumerateTest, IdentityBlockOfTheDeviceIsShown) {
  SimDeviceConfig config = DefaultSimDevice("");
  const std::uint8_t block[16] = {0x00, 0x80, 0xA3, 0x00, 0xFF, 0xFF, 0x7A, 0x85,
                                  0xE5, 0x67, 0x77, 0x53, 0xFF, 0xFF, 0xFF, 0x80};
  std::copy(std::begin(block), std::end(block), config.otp.begin() + 3 * kOtpBlockSize);
  Add(config);
  const Displayed found = Run({1, false, IdentityState::NotProgrammed});
  EXPECT_EQ(found.identityState, IdentityState::Present);
  EXPECT_EQ(found.effects, Join({kDefaultDeviceShown,
                                 {{Kind::SetText, kIdFlashSize, "1024 kB"},
                                  {Kind::SetText, kIdUniqueId, "3100-4700-0E-Q307486"},
                                  {Kind::SetText, kIdMacA, "00-80-A3-00-FF-FF"},
                                  {Kind::SetText, kIdMacB, "00-80-A3-01-00-00"},
                                  {Kind::SetText, kIdAssignmentDate, "2014-05-17 13:45:09"},
                                  {Kind::SetText, kIdSerialNumber, "16777215"}},
                                 kIdentityRepainted}));
}

TEST_F(EnumerateTest, NoDeviceAndTheLastDeviceUnplugged) {
  const ControlEffects emptied = {{Kind::RepaintNow, kIdDeviceCount, ""},
                                  {Kind::SetText, kIdDeviceCount, "0"},
                                  {Kind::Empty, kIdVendorId, ""},
                                  {Kind::Empty, kIdProductId, ""},
                                  {Kind::Empty, kIdDfuVersion, ""},
                                  {Kind::Empty, kIdDeviceBcd, ""},
                                  {Kind::Empty, kIdFlashSize, ""},
                                  {Kind::Empty, kIdUniqueId, ""},
                                  {Kind::Empty, kIdSerialNumber, ""},
                                  {Kind::Empty, kIdMacA, ""},
                                  {Kind::Empty, kIdMacB, ""},
                                  {Kind::Empty, kIdAssignmentDate, ""},
                                  {Kind::EmptyLogTexts, 0, ""}};

  // At start-up the window already shows 0: nothing to do.
  const Displayed none = Run();
  EXPECT_EQ(none.deviceCount, 0);
  EXPECT_TRUE(none.effects.empty());
  EXPECT_FALSE(none.otpReadStarted);

  const std::size_t device = Add();
  const Displayed shown = Run();
  m_bench.Unplug(device);
  const Displayed gone = Run({shown.deviceCount, shown.deviceError, shown.identityState});
  EXPECT_EQ(gone.deviceCount, 0);
  EXPECT_EQ(gone.devicePath, "");
  EXPECT_FALSE(gone.memoryMap);
  EXPECT_FALSE(gone.flashSize);  // kept: nothing else to go by
  EXPECT_EQ(gone.identityState, IdentityState::NotRead);
  EXPECT_EQ(gone.effects, Join({emptied, kIdentityRepainted}));
}

TEST_F(EnumerateTest, TwoDevicesCountTwoAndShowTheFirst) {
  SimDeviceConfig second = DefaultSimDevice("");
  second.uniqueId = {'S', 'E', 'C', 'O', 'N', 'D', 'D', 'E', 'V', 'I', 'C', 'E'};
  const std::size_t first = Add();
  Add(second);
  const Displayed found = Run();
  EXPECT_EQ(found.deviceCount, 2);
  EXPECT_EQ(found.devicePath, m_bench.PathOf(first));
  EXPECT_EQ(found.hardwareId, "3100-4700-0E-Q307486");
  EXPECT_EQ(m_probe.Opens(), 1);
  EXPECT_FALSE(found.deviceError);
}

TEST_F(EnumerateTest, DfuSeVersionAndInterfaceClassChecks) {
  struct Case {
    std::uint16_t version;
    SimInterfaceClass interfaceClass;
    bool error;
  };
  const Case cases[] = {
      {0x011A, SimInterfaceClass::First, false}, {0x011F, SimInterfaceClass::First, false},
      {0x0110, SimInterfaceClass::First, true},  {0x0119, SimInterfaceClass::First, true},
      {0x0120, SimInterfaceClass::First, true},  {0x011A, SimInterfaceClass::Second, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << c.version << " class " << static_cast<int>(c.interfaceClass));
    VirtualClock clock;
    SimBench bench(clock);
    UsbStdfuLibrary dfu(bench, clock);
    SimDeviceConfig config = DefaultSimDevice("");
    config.bcdDFUVersion = c.version;
    config.interfaceClass = c.interfaceClass;
    ASSERT_TRUE(bench.AddDevice(config).device);
    const Displayed found = Show(Enumerate(dfu, bench, clock));
    EXPECT_EQ(found.deviceCount, 1);
    EXPECT_EQ(found.deviceError, c.error);
    EXPECT_EQ(found.memoryMap != nullptr, !c.error);
    EXPECT_EQ(found.flashSize.has_value(), !c.error);
    // The identity is read all the same; for a failed device 1009 and 1010 end up empty.
    EXPECT_EQ(found.identityState, IdentityState::NotProgrammed);
    std::map<int, std::string> texts;
    ApplyTextEffects(found.effects, texts);
    char version[8];
    std::snprintf(version, sizeof version, "%04Xh", c.version);
    EXPECT_EQ(texts[kIdDfuVersion], version);
    EXPECT_EQ(texts[kIdFlashSize], c.error ? "" : "1024 kB");
    EXPECT_EQ(texts[kIdUniqueId], c.error ? "" : "3100-4700-0E-Q307486");
    EXPECT_EQ(texts[kIdSerialNumber], "Nicht programmiert");
    const bool repainted = std::count(found.effects.begin(), found.effects.end(),
                                      ControlEffect{Kind::Repaint, kIdDeviceCount, ""}) == 1;
    EXPECT_EQ(repainted, c.error);
  }
}

// Buses whose paths name no class (Linux) report the class beside the path: a bus that lists each
// device under the other class than its path's tail shows that the bus decides.
TEST_F(EnumerateTest, InterfaceClassIsTheOneTheBusReports) {
  class SwappedClassBus final : public DeviceBus {
   public:
    explicit SwappedClassBus(DeviceBus& inner) : m_inner(inner) {}
    std::optional<std::vector<std::string>> PresentInterfaces(const Guid& c) override {
      return m_inner.PresentInterfaces(c == kDfuInterfaceClass ? kSecondInterfaceClass
                                                               : kDfuInterfaceClass);
    }
    void SetListener(Listener) override {}

   private:
    DeviceBus& m_inner;
  };
  for (const SimInterfaceClass pathClass : {SimInterfaceClass::First, SimInterfaceClass::Second}) {
    VirtualClock clock;
    SimBench bench(clock);
    UsbStdfuLibrary dfu(bench, clock);
    SimDeviceConfig config = DefaultSimDevice("");
    config.interfaceClass = pathClass;
    ASSERT_TRUE(bench.AddDevice(config).device);
    SwappedClassBus swapped(bench);
    const Discovery found = Enumerate(dfu, swapped, clock);
    EXPECT_EQ(found.deviceCount, 1);
    EXPECT_EQ(found.deviceError, pathClass == SimInterfaceClass::First);
  }
}

TEST_F(EnumerateTest, MemoryMapDecidesFlashSizeAndError) {
  struct Case {
    const char* flashString;
    bool error;
    const char* flashText;
  };
  const Case cases[] = {
      {"@Internal Flash  /0x08000000/04*016Ka,01*064Ka,07*128Ka", false, "0 kB"},
      {"@Internal Flash  /0x08000000/04*016Kg,01*064Kg,03*128Kg", false, "512 kB"},
      // Some F42x boot loaders put one blank after the name.
      {"@Internal Flash /0x08000000/04*016Kg,01*064Kg,07*128Kg,04*016Kg,01*064Kg,07*128Kg", false,
       "2048 kB"},
      {"Internal Flash  /0x08000000/04*016Kg", true, ""},
      {"@Internal Flash  /0x08000000/04*016Kg,x2*064Kg", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flashString);
    VirtualClock clock;
    SimBench bench(clock);
    UsbStdfuLibrary dfu(bench, clock);
    SimDeviceConfig config = DefaultSimDevice("");
    config.interfaceStrings = BootLoaderInterfaceStrings(1024);
    config.interfaceStrings[0] = c.flashString;
    ASSERT_TRUE(bench.AddDevice(config).device);
    const Displayed found = Show(Enumerate(dfu, bench, clock));
    EXPECT_EQ(found.deviceError, c.error);
    std::map<int, std::string> texts;
    ApplyTextEffects(found.effects, texts);
    EXPECT_EQ(texts[kIdFlashSize], c.flashText);
  }
}

TEST_F(EnumerateTest, DeviceFailuresLeaveTheirDocumentedState) {
  Add();
  // A device that cannot be opened is counted and changes nothing else.
  m_probe.failOpen = true;
  const Displayed unopened = Run();
  EXPECT_EQ(unopened.deviceCount, 1);
  EXPECT_EQ(unopened.devicePath, "");
  EXPECT_EQ(unopened.effects, kCountBecomesOne);
  EXPECT_FALSE(unopened.otpImage);
  m_probe.failOpen = false;

  // Descriptors that cannot be read: no fields, no check, but the identity is read.
  for (std::atomic<bool>* failure : {&m_probe.failDeviceDescriptor, &m_probe.failDfuDescriptor}) {
    *failure = true;
    const Displayed undescribed = Run({1, false, IdentityState::NotProgrammed});
    *failure = false;
    EXPECT_FALSE(undescribed.devicePath.empty());
    EXPECT_FALSE(undescribed.deviceError);
    EXPECT_FALSE(undescribed.memoryMap);
    EXPECT_FALSE(undescribed.dfu);
    EXPECT_EQ(undescribed.effects, kDefaultIdentityShown);
  }

  // An OTP area that cannot be read: identity fields emptied, and no stale hardware ID.
  m_probe.failSelectAlternate = kOtpAlternate;
  const Displayed unread = Run({1, false, IdentityState::Present});
  EXPECT_EQ(unread.identityState, IdentityState::NotRead);
  EXPECT_EQ(unread.hardwareId, "");
  EXPECT_FALSE(unread.deviceError);
  EXPECT_EQ(unread.effects, Join({kDefaultDeviceShown,
                                  {{Kind::SetText, kIdFlashSize, "1024 kB"},
                                   {Kind::Empty, kIdUniqueId, ""},
                                   {Kind::Empty, kIdSerialNumber, ""},
                                   {Kind::Empty, kIdAssignmentDate, ""},
                                   {Kind::Empty, kIdMacA, ""},
                                   {Kind::Empty, kIdMacB, ""}},
                                  kIdentityRepainted}));
}

TEST_F(EnumerateTest, CountFieldLosesItsErrorColoursWhenTheDeviceIsFine) {
  // The window still shows the error of an earlier discovery of the same single device.
  Add();
  const Displayed found = Run({1, true, IdentityState::NotProgrammed});
  EXPECT_FALSE(found.deviceError);
  EXPECT_EQ(std::count(found.effects.begin(), found.effects.end(),
                       ControlEffect{Kind::Repaint, kIdDeviceCount, ""}),
            1);

  // Still failing: fields emptied again, the colours need no repaint beyond the one the reset
  // of the flag asks for.
  m_bench.Unplug(0);
  SimDeviceConfig plain = DefaultSimDevice("");
  plain.bcdDFUVersion = 0x0110;
  plain.instance = "other";
  Add(plain);
  const Displayed failing = Run({1, true, IdentityState::NotProgrammed});
  EXPECT_TRUE(failing.deviceError);
  const ControlEffects tail(failing.effects.end() - 3, failing.effects.end());
  EXPECT_EQ(tail, (ControlEffects{{Kind::Repaint, kIdDeviceCount, ""},
                                  {Kind::Empty, kIdFlashSize, ""},
                                  {Kind::Empty, kIdUniqueId, ""}}));
}

}  // namespace
}  // namespace kestrune
