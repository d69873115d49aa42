#include "usb/usb_stdfu.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "usb/scripted_usb_device.h"

namespace kestrune {
namespace {

using testing::ScriptedBackend;
using testing::UsbAnswer;
using testing::UsbScript;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kPath = "\\\\?\\usb#vid_0483&pid_df11#1#{x}";

// A boot loader's configuration: one DFU interface with alternates 0-3 and its functional
// descriptor (can download, can upload, will detach; 2048-byte transfers; DfuSe 1.1a).
Bytes Interface(std::uint8_t number, std::uint8_t alternate, std::uint8_t cls = 0xFE,
                std::uint8_t subclass = 0x01) {
  return {
      9, 0x04, number, alternate, 0, cls, subclass, 0x02, static_cast<std::uint8_t>(4 + alternate)};
}
const Bytes kFunctional{9, 0x21, 0x0B, 0xFF, 0x00, 0x00, 0x08, 0x1A, 0x01};

Bytes Configuration(std::vector<Bytes> parts) {
  Bytes all{9, 0x02, 0, 0, 1, 1, 0, 0xC0, 0x32};
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  all[2] = static_cast<std::uint8_t>(all.size());
  all[3] = static_cast<std::uint8_t>(all.size() >> 8);
  return all;
}

Bytes BootLoaderConfiguration() {
  return Configuration(
      {Interface(0, 0), Interface(0, 1), Interface(0, 2), Interface(0, 3), kFunctional});
}

Bytes StringDescriptor(const std::u16string& text) {
  Bytes d{static_cast<std::uint8_t>(2 + 2 * text.size()), 0x03};
  for (char16_t c : text) {
    d.push_back(static_cast<std::uint8_t>(c));
    d.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return d;
}

struct Fixture {
  VirtualClock clock{1000};
  std::shared_ptr<UsbScript> script = std::make_shared<UsbScript>(clock);
  ScriptedBackend backend;
  UsbStdfuLibrary dfu{backend, clock};
  DfuHandle handle = nullptr;

  Fixture() {
    backend.devices[kPath] = script;
    EXPECT_EQ(dfu.STDFU_Open(kPath, &handle), STDFU_NOERROR);
  }
  // The configuration is asked for twice: its header, then as a whole.
  void SetConfiguration(const Bytes& bytes) {
    script->Answer(0x80, 6, 0x0200, {UsbResult::Ok, bytes});
  }
};

TEST(UsbStdfu, OpenAndHandles) {
  Fixture f;
  DfuHandle other = reinterpret_cast<DfuHandle>(std::uintptr_t{77});
  EXPECT_NE(f.dfu.STDFU_Open("\\\\?\\usb#absent", &other), STDFU_NOERROR);
  EXPECT_EQ(other, reinterpret_cast<DfuHandle>(std::uintptr_t{77}));
  EXPECT_NE(f.dfu.STDFU_Open(nullptr, &other), STDFU_NOERROR);
  EXPECT_NE(f.dfu.STDFU_Open(kPath, nullptr), STDFU_NOERROR);

  DfuHandle second = nullptr;
  ASSERT_EQ(f.dfu.STDFU_Open(kPath, &second), STDFU_NOERROR);
  EXPECT_NE(second, f.handle);
  DfuHandle closed = second;
  EXPECT_EQ(f.dfu.STDFU_Close(&second), STDFU_NOERROR);
  EXPECT_EQ(second, nullptr);

  f.script->Answer(0x21, 6, 0, {});  // ABORT
  std::uint8_t bytes[18] = {};
  char text[8] = "x";
  std::uint32_t a = 0, b = 0;
  DfuStatus status;
  DfuHandle nullValue = nullptr;
  DfuHandle madeUp = reinterpret_cast<DfuHandle>(&f);
  for (DfuHandle* bad : {static_cast<DfuHandle*>(nullptr), &nullValue, &closed, &madeUp}) {
    const std::function<std::uint32_t()> calls[] = {
        [&] { return f.dfu.STDFU_GetDeviceDescriptor(bad, bytes); },
        [&] { return f.dfu.STDFU_GetDFUDescriptor(bad, &a, &b, bytes); },
        [&] { return f.dfu.STDFU_GetInterfaceDescriptor(bad, 0, 0, 0, bytes); },
        [&] { return f.dfu.STDFU_GetStringDescriptor(bad, 4, text, sizeof text); },
        [&] { return f.dfu.STDFU_SelectCurrentConfiguration(bad, 0, 0, 1); },
        [&] { return f.dfu.STDFU_Dnload(bad, bytes, 5, 0); },
        [&] { return f.dfu.STDFU_Upload(bad, bytes, 16, 2, nullptr); },
        [&] { return f.dfu.STDFU_Getstatus(bad, &status); },
        [&] { return f.dfu.STDFU_Getstate(bad, bytes); },
        [&] { return f.dfu.STDFU_Clrstatus(bad); },
        [&] { return f.dfu.STDFU_Abort(bad); },
        [&] { return f.dfu.STDFU_Close(bad); },
    };
    for (const auto& call : calls) {
      EXPECT_EQ(call(), STDFU_ERROR);
    }
  }
  EXPECT_EQ(text[0], '\0');
  EXPECT_TRUE(f.script->requests.empty());
  EXPECT_EQ(f.dfu.STDFU_Abort(&f.handle), STDFU_NOERROR);  // the open handle still works
  EXPECT_EQ(f.dfu.STDFU_Close(&f.handle), STDFU_NOERROR);
}

TEST(UsbStdfu, DeviceDescriptor) {
  const Bytes good{18,   0x01, 0x00, 0x01, 0,    0, 0, 64, 0x83,
                   0x04, 0x11, 0xDF, 0x00, 0x22, 1, 2, 3,  1};
  struct Case {
    const char* name;
    UsbAnswer answer;
    bool ok;
  };
  const Case cases[] = {
      {"whole", {UsbResult::Ok, good}, true},
      {"short", {UsbResult::Ok, Bytes(good.begin(), good.end() - 1)}, false},
      {"wrong type",
       {UsbResult::Ok,
        [&] {
          Bytes b = good;
          b[1] = 2;
          return b;
        }()},
       false},
      {"stall", {UsbResult::Stall, good}, false},
      {"gone", {UsbResult::NoDevice, {}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.script->Answer(0x80, 6, 0x0100, c.answer);
    std::uint8_t d[18] = {};
    EXPECT_EQ(f.dfu.STDFU_GetDeviceDescriptor(&f.handle, d) == STDFU_NOERROR, c.ok);
    if (c.ok) {
      EXPECT_EQ(Bytes(d, d + 18), good);
    }
    ASSERT_EQ(f.script->requests.size(), 1u);
    EXPECT_EQ(f.script->requests[0].setup.wLength, 18);
  }
}

TEST(UsbStdfu, DfuDescriptorFromTheConfiguration) {
  const Bytes dfu10Functional{7, 0x21, 0x03, 0xFF, 0x00, 0x00, 0x04};
  const Bytes hid{9, 0x21, 0x11, 0x01, 0, 1, 0x22, 0x40, 0};
  struct Case {
    const char* name;
    Bytes configuration;
    bool ok;
    std::uint32_t interface;
    std::uint32_t alternates;
    Bytes functional;
  };
  Bytes truncated = BootLoaderConfiguration();
  truncated.resize(truncated.size() - 3);  // the device sends less than wTotalLength
  Bytes zeroLength = Configuration({Interface(0, 0), Bytes{0, 0x04}, Interface(0, 1), kFunctional});
  Bytes tooShortTotal = BootLoaderConfiguration();
  tooShortTotal[2] = 8;
  const Case cases[] = {
      {"boot loader", BootLoaderConfiguration(), true, 0, 4, kFunctional},
      {"DFU 1.0 functional padded",
       Configuration({Interface(2, 0), Interface(2, 1), dfu10Functional}),
       true,
       2,
       2,
       {7, 0x21, 0x03, 0xFF, 0x00, 0x00, 0x04, 0, 0}},
      {"another class's 0x21 ignored",
       Configuration({Interface(0, 0, 0x03, 0x00), hid, Interface(1, 0), kFunctional}), true, 1, 1,
       kFunctional},
      {"functional missing", Configuration({Interface(0, 0), Interface(0, 1)}), false, 0, 0, {}},
      {"no DFU interface", Configuration({Interface(0, 0, 0x03, 0x00), hid}), false, 0, 0, {}},
      {"cut short", truncated, false, 0, 0, {}},
      {"zero length ends the walk", zeroLength, false, 0, 0, {}},
      {"total below the header", tooShortTotal, false, 0, 0, {}},
      {"header only", Bytes{9, 0x02, 9, 0, 0, 1, 0, 0xC0, 0x32}, false, 0, 0, {}},
      {"not a configuration", Bytes{9, 0x04, 30, 0, 0, 1, 0, 0, 0}, false, 0, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.SetConfiguration(c.configuration);
    std::uint32_t interface = 99, alternates = 99;
    std::uint8_t d[9] = {};
    EXPECT_EQ(f.dfu.STDFU_GetDFUDescriptor(&f.handle, &interface, &alternates, d) == STDFU_NOERROR,
              c.ok);
    if (c.ok) {
      EXPECT_EQ(interface, c.interface);
      EXPECT_EQ(alternates, c.alternates);
      EXPECT_EQ(Bytes(d, d + 9), c.functional);
    }
  }
}

TEST(UsbStdfu, InterfaceDescriptorOfAnAlternate) {
  Fixture f;
  f.SetConfiguration(BootLoaderConfiguration());
  std::uint8_t d[9] = {};
  ASSERT_EQ(f.dfu.STDFU_GetInterfaceDescriptor(&f.handle, 0, 0, 2, d), STDFU_NOERROR);
  EXPECT_EQ(Bytes(d, d + 9), Interface(0, 2));
  EXPECT_EQ(d[8], 6);  // iInterface
  EXPECT_EQ(f.dfu.STDFU_GetInterfaceDescriptor(&f.handle, 0, 0, 4, d), STDFU_ERROR);
  EXPECT_EQ(f.dfu.STDFU_GetInterfaceDescriptor(&f.handle, 0, 1, 0, d), STDFU_ERROR);
  EXPECT_EQ(f.dfu.STDFU_GetInterfaceDescriptor(&f.handle, 0, 0x100, 0, d), STDFU_ERROR);
}

TEST(UsbStdfu, StringDescriptorInTheDevicesLanguage) {
  Fixture f;
  f.script->Answer(0x80, 6, 0x0300, {UsbResult::Ok, {4, 0x03, 0x07, 0x04}});
  f.script->Answer(0x80, 6, 0x0304,
                   {UsbResult::Ok, StringDescriptor(u"@OTP Memory /0x1FFF7800/01*512 e,01*016 e")});
  char text[512];
  ASSERT_EQ(f.dfu.STDFU_GetStringDescriptor(&f.handle, 4, text, sizeof text), STDFU_NOERROR);
  EXPECT_STREQ(text, "@OTP Memory /0x1FFF7800/01*512 e,01*016 e");
  EXPECT_EQ(f.script->requests.back().setup.wIndex, 0x0407);

  // Bounded by the caller's size, always terminated.
  ASSERT_EQ(f.dfu.STDFU_GetStringDescriptor(&f.handle, 4, text, 5), STDFU_NOERROR);
  EXPECT_STREQ(text, "@OTP");
  ASSERT_EQ(f.dfu.STDFU_GetStringDescriptor(&f.handle, 4, text, 1), STDFU_NOERROR);
  EXPECT_STREQ(text, "");

  std::strcpy(text, "old");
  EXPECT_EQ(f.dfu.STDFU_GetStringDescriptor(&f.handle, 5, text, sizeof text), STDFU_ERROR);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(f.dfu.STDFU_GetStringDescriptor(&f.handle, 0, text, sizeof text), STDFU_ERROR);
  EXPECT_EQ(f.dfu.STDFU_GetStringDescriptor(&f.handle, 4, text, 0), STDFU_ERROR);
}

TEST(UsbStdfu, StringDescriptorWithoutLanguageTableAsksInEnglish) {
  Fixture f;
  f.script->Answer(0x80, 6, 0x0301, {UsbResult::Ok, StringDescriptor(u"STM32  BOOTLOADER")});
  char text[64];
  ASSERT_EQ(f.dfu.STDFU_GetStringDescriptor(&f.handle, 1, text, sizeof text), STDFU_NOERROR);
  EXPECT_STREQ(text, "STM32  BOOTLOADER");
  EXPECT_EQ(f.script->requests.back().setup.wIndex, 0x0409);
}

// The DFU class requests on the wire; after a selection they go to the selected interface.
TEST(UsbStdfu, ClassRequests) {
  Fixture f;
  for (std::uint8_t request : {1, 4, 6}) f.script->Answer(0x21, request, 0, {});
  f.script->Answer(0x21, 1, 3, {});
  f.script->Answer(0xA1, 2, 2, {UsbResult::Ok, Bytes(2048, 0x5A)});
  f.script->Answer(0xA1, 3, 0, {UsbResult::Ok, {0x0B, 0x68, 0x01, 0x00, 0x0A, 0x00}});
  f.script->Answer(0xA1, 5, 0, {UsbResult::Ok, {0x05}});

  ASSERT_EQ(f.dfu.STDFU_SelectCurrentConfiguration(&f.handle, 0, 0, 2), STDFU_NOERROR);
  EXPECT_EQ(f.script->alternates, (std::vector<std::pair<std::uint8_t, std::uint8_t>>{{0, 2}}));
  const std::uint8_t command[5] = {0x21, 0x00, 0x78, 0xFF, 0x1F};
  EXPECT_EQ(f.dfu.STDFU_Dnload(&f.handle, command, 5, 0), STDFU_NOERROR);
  const Bytes block(2048, 0xA5);
  EXPECT_EQ(f.dfu.STDFU_Dnload(&f.handle, block.data(), 2048, 3), STDFU_NOERROR);
  Bytes read(2048);
  EXPECT_EQ(f.dfu.STDFU_Upload(&f.handle, read.data(), 2048, 2, nullptr), STDFU_NOERROR);
  EXPECT_EQ(read, Bytes(2048, 0x5A));
  DfuStatus status;
  EXPECT_EQ(f.dfu.STDFU_Getstatus(&f.handle, &status), STDFU_NOERROR);
  EXPECT_EQ(status.bStatus, errVENDOR);
  EXPECT_EQ(status.PollTimeout(), 0x168u);
  EXPECT_EQ(status.bState, dfuERROR);
  std::uint8_t state = 0;
  EXPECT_EQ(f.dfu.STDFU_Getstate(&f.handle, &state), STDFU_NOERROR);
  EXPECT_EQ(state, dfuDNLOAD_IDLE);
  EXPECT_EQ(f.dfu.STDFU_Clrstatus(&f.handle), STDFU_NOERROR);
  EXPECT_EQ(f.dfu.STDFU_Abort(&f.handle), STDFU_NOERROR);

  const auto& r = f.script->requests;
  ASSERT_EQ(r.size(), 7u);
  const std::uint8_t expected[7][4] = {{0x21, 1, 0, 5}, {0x21, 1, 3, 0}, {0xA1, 2, 2, 0},
                                       {0xA1, 3, 0, 6}, {0xA1, 5, 0, 1}, {0x21, 4, 0, 0},
                                       {0x21, 6, 0, 0}};
  for (std::size_t i = 0; i < r.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r[i].setup.bmRequestType, expected[i][0]);
    EXPECT_EQ(r[i].setup.bRequest, expected[i][1]);
    EXPECT_EQ(r[i].setup.wValue, expected[i][2]);
    EXPECT_EQ(r[i].setup.wIndex, 0);
  }
  EXPECT_EQ(r[0].data, Bytes(command, command + 5));
  EXPECT_EQ(r[1].data, block);
  EXPECT_EQ(r[2].setup.wLength, 2048);
  EXPECT_EQ(r[3].setup.wLength, 6);
}

TEST(UsbStdfu, RefusedRequests) {
  Fixture f;
  f.script->Answer(0xA1, 2, 2, {UsbResult::Ok, Bytes(100, 0)});
  f.script->Answer(0xA1, 3, 0, {UsbResult::Ok, {0, 0, 0, 0, 2}});
  f.script->alternateResult = UsbResult::Stall;
  Bytes buffer(4096);
  DfuStatus status;
  status.bState = 77;
  EXPECT_EQ(f.dfu.STDFU_Upload(&f.handle, buffer.data(), 2048, 2, nullptr),
            STDFU_ERROR);                                             // short answer
  EXPECT_EQ(f.dfu.STDFU_Getstatus(&f.handle, &status), STDFU_ERROR);  // 5 of 6 bytes
  EXPECT_EQ(status.bState, 77);
  EXPECT_EQ(f.dfu.STDFU_Clrstatus(&f.handle), STDFU_ERROR);  // stalled
  EXPECT_EQ(f.dfu.STDFU_SelectCurrentConfiguration(&f.handle, 0, 0, 1), STDFU_ERROR);
  const std::size_t asked = f.script->requests.size();
  // Refused before anything is sent.
  EXPECT_EQ(f.dfu.STDFU_Dnload(&f.handle, buffer.data(), 2049, 2), STDFU_ERROR);
  EXPECT_EQ(f.dfu.STDFU_Upload(&f.handle, buffer.data(), 2049, 2, nullptr), STDFU_ERROR);
  EXPECT_EQ(f.dfu.STDFU_Dnload(&f.handle, nullptr, 5, 0), STDFU_ERROR);
  EXPECT_EQ(f.dfu.STDFU_SelectCurrentConfiguration(&f.handle, 1, 0, 1), STDFU_ERROR);
  EXPECT_EQ(f.dfu.STDFU_SelectCurrentConfiguration(&f.handle, 0, 0, 256), STDFU_ERROR);
  EXPECT_EQ(f.script->requests.size(), asked);
  EXPECT_EQ(f.script->alternates.size(), 1u);
}

// After dfuDNBUSY the next request waits for the device's bwPollTimeout, capped.
TEST(UsbStdfu, WaitsForThePollTimeOutOfABusyDevice) {
  struct Case {
    Bytes status;
    std::uint32_t wait;
  };
  const Case cases[] = {
      {{0, 100, 0, 0, dfuDNBUSY, 0}, 100},
      {{0, 0xFF, 0xFF, 0xFF, dfuDNBUSY, 0}, 10000},
      {{0, 100, 0, 0, dfuDNLOAD_IDLE, 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wait);
    Fixture f;
    f.script->Answer(0xA1, 3, 0, {UsbResult::Ok, c.status});
    f.script->Answer(0xA1, 5, 0, {UsbResult::Ok, {dfuDNBUSY}});
    DfuStatus status;
    std::uint8_t state = 0;
    ASSERT_EQ(f.dfu.STDFU_Getstatus(&f.handle, &status), STDFU_NOERROR);
    f.clock.Advance(30);
    ASSERT_EQ(f.dfu.STDFU_Getstate(&f.handle, &state), STDFU_NOERROR);
    ASSERT_EQ(f.dfu.STDFU_Getstate(&f.handle, &state), STDFU_NOERROR);
    const auto& r = f.script->requests;
    EXPECT_EQ(r[1].tick - r[0].tick, std::max(c.wait, 30u));
    EXPECT_EQ(r[2].tick, r[1].tick);
  }
}

// Different handles may be used on different threads at the same time.
TEST(UsbStdfu, HandlesOnSeveralThreads) {
  VirtualClock clock;
  ScriptedBackend backend;
  const std::string paths[] = {"a", "b", "c"};
  for (const auto& path : paths) {
    backend.devices[path] = std::make_shared<UsbScript>(clock);
    backend.devices[path]->Answer(0xA1, 5, 0, {UsbResult::Ok, {dfuIDLE}});
  }
  UsbStdfuLibrary dfu{backend, clock};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (const auto& path : paths) {
    threads.emplace_back([&] {
      for (int round = 0; round < 50; ++round) {
        DfuHandle handle = nullptr;
        std::uint8_t state = 0;
        if (dfu.STDFU_Open(path.c_str(), &handle) != STDFU_NOERROR ||
            dfu.STDFU_Getstate(&handle, &state) != STDFU_NOERROR || state != dfuIDLE ||
            dfu.STDFU_Close(&handle) != STDFU_NOERROR) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace kestrune
