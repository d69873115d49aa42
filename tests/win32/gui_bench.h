#pragma once
// The main window as the program runs it, on a simulated bench in a fresh folder: the range files
// of the repository in Infos, a firmware file beside them, and the window's timer switched off so
// that the operator's ticks are the only ones. The bench is reached directly, or through the
// Windows functions of SetupDi and WinUSB served by a fake device stack.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backend/device_backend.h"
#include "gui_operator.h"
#include "sim/sim_bench.h"
#include "testkit/temp_folder.h"
#include "usb/fake_winusb_stack.h"
#include "win32/colour_brushes.h"
#include "win32/problem_boxes.h"
#include "win32/registry_path_history.h"

namespace kestrune::win32::testing {

class GuiBench : public ::testing::Test {
 protected:
  GuiBench();
  // `count` devices that work without delay; `adjust` changes each before it is added.
  void MakeBench(int count, const std::function<void(SimDeviceConfig&)>& adjust = {});
  // The same, reached as on Windows: SetupDi finds them, WinUSB talks to them, and the window's
  // own notifications are the only ones.
  void MakeWinUsbBench(int count, const std::function<void(SimDeviceConfig&)>& adjust = {});
  // A valid firmware file in the folder; its path.
  std::string Firmware(const std::string& name = "firmware.bin");
  // Shows the main window until the script is done with it.
  void Run(const std::function<void(GuiOperator&)>& script);

  Clock& clock = SystemClock();
  testkit::TempFolder folder;
  ProblemBoxes problems;
  std::unique_ptr<SimBench> windowsBench;
  std::unique_ptr<kestrune::testing::FakeStack> windowsStack;
  SimBench* bench = nullptr;
  std::unique_ptr<DeviceBackend> backend;
  ColourBrushes brushes;
  // The history under a key of the tests' own, empty at the start of each test.
  RegistryPathHistory history{"Software\\Quorvel\\KestruneTest"};
  std::vector<std::uint8_t> image;

 private:
  std::unique_ptr<SimBench> NewBench(int count,
                                     const std::function<void(SimDeviceConfig&)>& adjust);
};

}  // namespace kestrune::win32::testing
