#include "cli/program_all.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "cli/interrupt_catcher.h"
#include "cli/json_output.h"
#include "cli/program_command.h"
#include "device/device_bus_split.h"
#include "device/device_listing.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

struct DeviceRun {
  std::string path;
  std::string name;  // the USB serial number, or the path when there is none
  std::unique_ptr<DeviceBus> bus;
  std::vector<std::string> errors;
  int status = kExitFailed;
  ProgramReport report;
};

// Hands Ctrl-C to the run of every device, also to one that starts after it came.
class Cancellation {
 public:
  explicit Cancellation(std::size_t devices) : m_runs(devices, nullptr) {}
  // The run of device `k` started with this control, or (null) is about to end.
  void Serving(std::size_t k, RunControl* control) {
    std::lock_guard lock(m_mutex);
    m_runs[k] = control;
    if (control != nullptr && m_cancelled) control->m_abortRequested = 1;
  }
  void CancelAll() {
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    for (RunControl* control : m_runs) {
      if (control != nullptr) control->m_abortRequested = 1;
    }
  }

 private:
  std::mutex m_mutex;
  std::vector<RunControl*> m_runs;
  bool m_cancelled = false;
};

void PrintSummary(std::FILE* out, const std::vector<DeviceRun>& runs) {
  std::size_t width = 6;
  for (const DeviceRun& run : runs) width = std::max(width, run.name.size());
  std::fprintf(out, "\n%-*s  %-9s  %s\n", static_cast<int>(width), "device", "result", "error");
  for (const DeviceRun& run : runs) {
    std::fprintf(out, "%-*s  %-9s", static_cast<int>(width), run.name.c_str(),
                 OutcomeName(run.status));
    if (!run.errors.empty()) std::fprintf(out, "  %s", Cp1252ToUtf8(run.errors.front()).c_str());
    std::fputc('\n', out);
  }
  std::fflush(out);
}

// `errors`: the run's own, before those of the devices.
void PrintJsonSummary(std::FILE* out, const std::string& firmwarePath, int status,
                      const std::vector<DeviceRun>& runs, std::vector<std::string> errors = {}) {
  Json devices = Json::array();
  for (const DeviceRun& run : runs) {
    Json entry = {{"name", run.name}};
    entry.update(JsonProgramRun(run.status, run.errors, run.report));
    devices.push_back(entry);
    errors.insert(errors.end(), run.errors.begin(), run.errors.end());
  }
  Json document = JsonDocument("program", status, errors);
  document["firmware"] = firmwarePath;
  document["outcome"] = OutcomeName(status);
  document["devices"] = devices;
  PrintJson(out, document);
}

// 0 only when every device was verified and logged; a verified device whose log line is missing
// makes it 4 unless another one failed.
int OverallStatus(const std::vector<DeviceRun>& runs, bool interrupted) {
  const auto all = [&runs](auto test) { return std::all_of(runs.begin(), runs.end(), test); };
  if (all([](const DeviceRun& r) { return r.status == kExitOk; })) return kExitOk;
  if (interrupted) return kExitAborted;
  const bool verified = all(
      [](const DeviceRun& r) { return r.status == kExitOk || r.status == kExitLogLineMissing; });
  return verified ? kExitLogLineMissing : kExitFailed;
}

}  // namespace

int ProgramAll(DeviceBackend& backend, const std::string& infosFolder,
               const std::string& firmwarePath, std::FILE* out, std::FILE* err, bool json,
               bool skipUnchanged, RunRecorder* recorder) {
  const std::vector<ListedDevice> listed =
      ListDevices(backend.Dfu(), backend.Bus(), backend.GetClock());
  if (listed.empty()) {
    const char* error = "no DFU device is attached";
    if (json) PrintJsonSummary(out, firmwarePath, kExitNoDevice, {}, {error});
    std::fprintf(err, "kestrune: %s\n", error);
    return kExitNoDevice;
  }
  DeviceBusSplitter splitter(backend.Bus());
  std::vector<DeviceRun> runs(listed.size());
  for (std::size_t k = 0; k < listed.size(); ++k) {
    runs[k].path = listed[k].path;
    runs[k].name = listed[k].usbSerialNumber.empty() ? listed[k].path : listed[k].usbSerialNumber;
    runs[k].bus = splitter.View(listed[k].path);
  }

  Cancellation cancellation(runs.size());
  std::mutex finishedMutex;
  std::condition_variable finishedChanged;
  std::size_t finished = 0;
  std::vector<std::thread> workers;
  for (std::size_t k = 0; k < runs.size(); ++k) {
    DeviceRun& run = runs[k];
    ConsoleOptions console;
    // With --json the lines go to stderr: stdout carries the JSON object alone.
    console.out = json ? err : out;
    console.err = err;
    console.linePrefix = "[" + run.name + "] ";
    console.errors = &run.errors;
    console.takesInterrupts = false;
    console.progressQuarters = !json;
    workers.emplace_back([&, k, console] {
      runs[k].status = ProgramFirmware(
          backend, *runs[k].bus, infosFolder, firmwarePath, console,
          [&cancellation, k](RunControl* control) { cancellation.Serving(k, control); },
          ProgramChoices{false, false, skipUnchanged, false, recorder}, &runs[k].report);
      {
        std::lock_guard lock(finishedMutex);
        ++finished;
      }
      finishedChanged.notify_one();
    });
  }

  // Ctrl-C is taken here, once, and handed to every device.
  bool interrupted = false;
  {
    InterruptCatcher interrupts;
    std::unique_lock lock(finishedMutex);
    while (finished < runs.size()) {
      finishedChanged.wait_for(lock, std::chrono::milliseconds(50));
      if (InterruptCatcher::Take()) {
        interrupted = true;
        cancellation.CancelAll();
      }
    }
  }
  for (std::thread& worker : workers) worker.join();
  for (DeviceRun& run : runs) run.bus.reset();

  const int status = OverallStatus(runs, interrupted);
  if (json) {
    PrintJsonSummary(out, firmwarePath, status, runs);
  } else {
    PrintSummary(out, runs);
  }
  return status;
}

}  // namespace kestrune::cli
