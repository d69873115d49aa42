// The dialog with a real programming run and discovery on the simulated bench.

#include <gtest/gtest.h>

#include <atomic>

#include "app/control_ids.h"
#include "app/programmer_dialog.h"
#include "app/run_commands.h"
#include "job/programming_job.h"
#include "sim/sim_bench.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/recording_window.h"
#include "testkit/temp_folder.h"
#include "usb/usb_stdfu.h"

namespace kestrune {
namespace {

// The bench as the dialog's bus, counting discoveries (one query per interface class).
class CountingBus final : public DeviceBus {
 public:
  explicit CountingBus(DeviceBus& bus) : m_bus(bus) {}
  std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) override {
    ++queries;
    return m_bus.PresentInterfaces(interfaceClass);
  }
  void SetListener(Listener listener) override { m_bus.SetListener(std::move(listener)); }
  std::atomic<int> queries{0};

 private:
  DeviceBus& m_bus;
};

class DialogRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SimDeviceConfig device = DefaultSimDevice("");
    device.timing = InstantTiming();
    device.returnDelayMs = 20;
    ASSERT_TRUE(bench.AddDevice(std::move(device)).device.has_value());
    bench.StartEventThread();
    dialog = std::make_unique<ProgrammerDialog>(
        window, DialogServices{
                    stdfu, bus, clock, folder.File("Infos"),
                    [this](RunEvents& events, const RunControl& control, const JobInputs& inputs) {
                      lastInputs = inputs;
                      ProgrammingJob(events, control, stdfu, clock, inputs);
                    }});
    ASSERT_TRUE(dialog->OnInitDialog());
  }
  std::string Firmware() {
    const std::string path = folder.File("firmware.bin");
    testkit::WriteFileBytes(path, image);
    window.SetControlText(kIdFirmwarePath, path);
    dialog->DescribeFirmware();
    return path;
  }

  // Real time: a virtual clock would let the worker's waits run ahead of the window's thread,
  // which enumerates the returning device.
  Clock& clock = SystemClock();
  SimBench bench{clock};
  UsbStdfuLibrary stdfu{bench, clock};
  CountingBus bus{bench};
  testkit::RecordingWindow window;
  testkit::TempFolder folder;
  std::vector<std::uint8_t> image = testkit::BuildFirmwareImage();
  JobInputs lastInputs;  // written by the worker before it posts anything
  std::unique_ptr<ProgrammerDialog> dialog;
};

TEST_F(DialogRunTest, ARunWithNewOptionBytesProgramsTheDeviceAndShowsEveryStatus) {
  EXPECT_EQ(window.Text(kIdDeviceCount), "1");
  EXPECT_EQ(dialog->ControlColour(kIdDeviceCount), ColourScheme::Good);
  Firmware();
  dialog->OnOK();
  ASSERT_TRUE(dialog->Busy());
  ASSERT_TRUE(window.Pump(*dialog, ID_RUN_FINISHED));

  EXPECT_EQ(dialog->RunStatus(), RunStatusSucceeded);
  EXPECT_EQ(dialog->ControlColour(kIdStatusLine), ColourScheme::Good);
  EXPECT_TRUE(window.messageBoxes.empty());
  // Every status text arrives, in order, however quickly the worker wrote them.
  const std::vector<std::string> texts = window.TextHistory(kIdStatusLine);
  const std::vector<std::string> start = {"... Firmware laden ...",
                                          "... Öffne Gerät ...",
                                          "... Optionen auslesen ...",
                                          "... Optionen speichern ...",
                                          "... Warte auf die neue Geräteanmeldung ...",
                                          "... Gerät neu öffnen ...",
                                          "... Lösche Sektor 0   (08000000h) ..."};
  ASSERT_GE(texts.size(), start.size() + 3);
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 7), start);
  EXPECT_EQ(texts.back(), "... Das Gerät wurde erfolgreich programmiert ...");
  // The bar's range holds the whole run; the last position before the end was the full range.
  const int total = static_cast<int>(image.size() / 2 + 2 * image.size());
  EXPECT_EQ(window.ProgressUpper(), total >> 2);
  EXPECT_EQ(bench.Peek(0, 0, 0x08000000, static_cast<std::uint32_t>(image.size())), image);
  EXPECT_EQ(testkit::ReadFileBytes(folder.File("Infos/DownloadList.csv")).empty(), false);
  EXPECT_FALSE(dialog->Busy());
}

TEST_F(DialogRunTest, TheLastDeviceUnpluggedEmptiesTheDeviceFieldsButNotTheFirmwareTexts) {
  Firmware();
  dialog->OnTest();
  ASSERT_TRUE(window.Pump(*dialog, ID_RUN_FINISHED));
  ASSERT_EQ(dialog->RunStatus(), RunStatusSucceeded)
      << (window.messageBoxes.empty() ? "" : window.messageBoxes[0].text);
  EXPECT_EQ(lastInputs.deviceKind, "KST-F4");
  EXPECT_FALSE(lastInputs.hardwareId.empty());
  EXPECT_FALSE(window.Text(kIdUniqueId).empty());
  window.TakePosted();
  bench.Unplug(0);
  auto posted = window.WaitPosted(std::chrono::seconds(10));
  ASSERT_TRUE(posted.has_value());
  ASSERT_FALSE(posted->isCommand);
  dialog->OnDeviceChange(posted->event, posted->path);
  EXPECT_EQ(dialog->DeviceCount(), 0);
  EXPECT_EQ(window.Text(kIdDeviceCount), "0");
  EXPECT_EQ(window.Text(kIdUniqueId), "");
  EXPECT_EQ(window.Text(kIdVendorId), "");
  EXPECT_EQ(dialog->ControlColour(kIdDeviceCount), ColourScheme::Bad);
  // The run started by the Test button finds no device data and no hardware id; the file is
  // still chosen, so the next device's log line still names its firmware.
  dialog->OnTest();
  ASSERT_TRUE(window.Pump(*dialog, ID_RUN_FINISHED));
  EXPECT_EQ(lastInputs.hardwareId, "");
  EXPECT_EQ(lastInputs.deviceKind, "KST-F4");
  EXPECT_EQ(lastInputs.firmwareVersion, "2.4.1");
  EXPECT_EQ(lastInputs.firmwareDate, "Dec 10 2026 11:50:00");
  ASSERT_EQ(window.messageBoxes.size(), 1u);
  EXPECT_EQ(window.messageBoxes[0].text, "Es sind keine Gerätedaten vorhanden !");
  EXPECT_EQ(dialog->RunStatus(), RunStatusFailed);
}

}  // namespace
}  // namespace kestrune
