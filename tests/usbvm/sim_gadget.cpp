// The simulated boot loader as a USB device on a real Linux host stack: the first device of a
// simulated bench, served through gadgetfs on a device controller (dummy_hcd in the test machine).
//
//   kestrune_sim_gadget GADGETFS_FILE UDC_FOLDER IMAGE_FOLDER [BENCH_FILE]
//
// UDC_FOLDER is the controller's folder in /sys/class/udc. With KESTRUNE_GADGET_TRACE=1 every
// request and its answer is printed.
//
// The kernel answers the device and configuration descriptors written here, SET_ADDRESS,
// GET_CONFIGURATION and GET_STATUS; every other control request (strings, SET_CONFIGURATION,
// SET_INTERFACE and all DFU requests) comes up as an event and is answered by the simulated
// device, with the bench's timing and faults. When the simulated chip leaves the bus (after an
// option-byte write or leaving DFU mode, or SIGUSR1) the gadget disconnects, and it connects again
// when the chip comes back (SIGUSR2 plugs an unplugged one in), so the host enumerates it anew.
// SIGTERM or SIGINT unplugs it for good.
//
// Disconnecting switches the controller's pull-up off (soft_connect) before the gadget file is
// closed, and connecting opens the file anew. Either alone fails on Debian's 6.1 kernel: closing
// the file with a control transfer still queued makes gadgetfs dereference a null pointer, and
// after soft_connect's "disconnect" its "connect" leaves dummy_hcd's callbacks off, so the host
// cannot enumerate the device (error -71).
//
// gadgetfs cannot stall a request that carries data to the device once the data has arrived, so
// such a request that the simulated device refuses is acknowledged; the device is in dfuERROR
// all the same and says so at the next GETSTATUS.

#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/gadgetfs.h>
#include <poll.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_bench.h"
#include "sim/sim_file.h"

namespace {

using kestrune::UsbDevice;
using kestrune::UsbResult;
using kestrune::UsbSetup;
using kestrune::UsbTransfer;

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_unplug = 0;
volatile std::sig_atomic_t g_plug = 0;
void OnStop(int) {
  g_stop = 1;
}
void OnUnplug(int) {
  g_unplug = 1;
}
void OnPlug(int) {
  g_plug = 1;
}
bool g_trace = false;

// How long the simulated device may take over one request before the host is left without an
// answer; the host's own time-out decides what that means to it.
constexpr std::uint32_t kRequestTimeoutMs = 100;
constexpr std::uint16_t kMaxControlLength = 4096;
// How long the device stays off the bus at least: the host's hub takes a disconnect shorter than
// its debounce time for a glitch and keeps the old device, where a chip that resets is enumerated
// anew.
constexpr useconds_t kMinOffBusUs = 500 * 1000;

std::vector<std::uint8_t> Descriptor(UsbDevice& device, std::uint16_t value) {
  std::vector<std::uint8_t> data(kMaxControlLength);
  const UsbSetup setup{USB_DIR_IN, USB_REQ_GET_DESCRIPTOR, value, 0, kMaxControlLength};
  const UsbTransfer answer = device.ControlTransfer(setup, data.data(), kRequestTimeoutMs);
  data.resize(answer.result == UsbResult::Ok ? answer.length : 0);
  return data;
}

// Opens the gadget file and hands it the descriptors: the host sees the device arrive.
int OpenGadget(const std::string& gadgetFile, UsbDevice& device) {
  const std::vector<std::uint8_t> deviceDescriptor = Descriptor(device, USB_DT_DEVICE << 8);
  const std::vector<std::uint8_t> configuration = Descriptor(device, USB_DT_CONFIG << 8);
  if (deviceDescriptor.size() != USB_DT_DEVICE_SIZE || configuration.size() < USB_DT_CONFIG_SIZE) {
    std::fprintf(stderr, "sim_gadget: the simulated device gave no descriptors\n");
    return -1;
  }
  const int fd = open(gadgetFile.c_str(), O_RDWR);
  if (fd < 0) {
    std::perror(("sim_gadget: " + gadgetFile).c_str());
    return -1;
  }
  // Tag 0, the full-speed configuration (no high-speed one: the chip is full speed), the device.
  std::vector<std::uint8_t> setup(4, 0);
  setup.insert(setup.end(), configuration.begin(), configuration.end());
  setup.insert(setup.end(), deviceDescriptor.begin(), deviceDescriptor.end());
  if (write(fd, setup.data(), setup.size()) != static_cast<ssize_t>(setup.size())) {
    std::perror("sim_gadget: writing the descriptors");
    close(fd);
    return -1;
  }
  return fd;
}

// Takes the device off the bus: the controller's pull-up goes off, which ends what is queued on
// the control endpoint, then the gadget file closes.
void Disconnect(int fd, const std::string& udcFolder) {
  const int control = open((udcFolder + "/soft_connect").c_str(), O_WRONLY);
  if (control < 0 || write(control, "disconnect", 10) != 10) {
    std::perror(("sim_gadget: " + udcFolder + "/soft_connect").c_str());
  }
  if (control >= 0) close(control);
  close(fd);
  std::printf("sim_gadget: disconnected\n");
  std::fflush(stdout);
  usleep(kMinOffBusUs);
}

enum class Outcome { Served, Silent };

// Answers one control request from the simulated device. A request it leaves unanswered (a chip
// that is resetting) is Silent: gadgetfs cannot let a request go unanswered and still pass the
// next one up, so the caller takes the device off the bus, as the resetting chip soon does.
Outcome Serve(int fd, UsbDevice& device, const usb_ctrlrequest& request) {
  const UsbSetup setup{request.bRequestType, request.bRequest, request.wValue, request.wIndex,
                       request.wLength};
  std::vector<std::uint8_t> data(setup.wLength);
  const bool in = (setup.bmRequestType & USB_DIR_IN) != 0;
  if (!in && setup.wLength > 0) {
    // gadgetfs acknowledges the data before it hands it over, so the host may already have sent
    // its next request, which discards this one's data: say so, nothing can be answered.
    const ssize_t got = read(fd, data.data(), data.size());
    if (got < 0) {
      std::perror("sim_gadget: the data of a request to the device was lost");
      return Outcome::Served;
    }
    data.resize(static_cast<std::size_t>(got));
  }
  const UsbTransfer answer = device.ControlTransfer(setup, data.data(), kRequestTimeoutMs);
  if (g_trace) {
    std::printf("sim_gadget: %02x %02x %04x %04x %u -> %d %u\n", setup.bmRequestType,
                setup.bRequest, setup.wValue, setup.wIndex, setup.wLength,
                static_cast<int>(answer.result), answer.length);
    std::fflush(stdout);
  }
  if (answer.result == UsbResult::Timeout || answer.result == UsbResult::NoDevice) {
    return Outcome::Silent;
  }
  const bool stall = answer.result != UsbResult::Ok;
  ssize_t done = 0;
  if (in) {
    done = stall ? read(fd, data.data(), 0) : write(fd, data.data(), answer.length);
  } else if (setup.wLength == 0) {
    done = stall ? write(fd, data.data(), 0) : read(fd, data.data(), 0);
  }
  // A stall is reported as EL2HLT; a request the host gave up on as EIDRM or ECANCELED.
  if (done < 0 && errno != EL2HLT && errno != EIDRM && errno != ECANCELED) {
    std::perror("sim_gadget: answering a request");
  }
  return Outcome::Served;
}

// Serves the connection until the simulated device leaves or falls silent, the gadget file
// fails or a signal comes.
Outcome ServeConnection(int fd, kestrune::SimBench& bench, UsbDevice& device) {
  while (g_stop == 0) {
    if (g_unplug != 0) {
      g_unplug = 0;
      bench.Unplug(0);
    }
    bench.Update();
    if (!bench.IsPresent(0)) return Outcome::Served;
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, 20) <= 0) continue;
    usb_gadgetfs_event events[8];
    const ssize_t got = read(fd, events, sizeof events);
    if (got < 0) {
      if (errno == EIDRM || errno == EINTR || errno == EAGAIN) continue;
      std::perror("sim_gadget: reading events");
      return Outcome::Silent;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(got) / sizeof events[0]; ++i) {
      if (events[i].type != GADGETFS_SETUP) continue;
      const Outcome outcome = Serve(fd, device, events[i].u.setup);
      if (outcome != Outcome::Served) return outcome;
    }
  }
  return Outcome::Served;
}

// After the device fell silent: waits until the bench takes it off the bus, or for a while where
// it stays (a time-out injected as a fault), before it may connect again.
void AwaitLeaving(kestrune::SimBench& bench) {
  for (int i = 0; i < 100 && g_stop == 0 && bench.IsPresent(0); ++i) {
    usleep(20 * 1000);
    bench.Update();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: %s GADGETFS_FILE UDC_FOLDER IMAGE_FOLDER [BENCH_FILE]\n", argv[0]);
    return 2;
  }
  const std::string gadgetFile = argv[1];
  const std::string udcFolder = argv[2];
  const char* trace = std::getenv("KESTRUNE_GADGET_TRACE");
  g_trace = trace != nullptr && std::string(trace) == "1";
  std::signal(SIGTERM, OnStop);
  std::signal(SIGINT, OnStop);
  std::signal(SIGUSR1, OnUnplug);
  std::signal(SIGUSR2, OnPlug);
  // Before the host's next request: gadgetfs drops the data of a request the gadget has not read
  // by the time the next one comes.
  sched_param priority{};
  priority.sched_priority = sched_get_priority_max(SCHED_FIFO);
  if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0) std::perror("sim_gadget: SCHED_FIFO");
  kestrune::SimBenchResult made =
      kestrune::MakeSimBench(kestrune::SystemClock(), argc == 5 ? argv[4] : "", argv[3]);
  if (!made.bench) {
    std::fprintf(stderr, "sim_gadget: %s\n", made.error.c_str());
    return 1;
  }
  kestrune::SimBench& bench = *made.bench;
  const std::string path = bench.PathOf(0);
  while (g_stop == 0) {
    if (g_plug != 0) {
      g_plug = 0;
      bench.Plug(0);
    }
    bench.Update();
    std::unique_ptr<UsbDevice> device = bench.IsPresent(0) ? bench.Open(path) : nullptr;
    if (!device) {
      usleep(20 * 1000);
      continue;
    }
    const int fd = OpenGadget(gadgetFile, *device);
    if (fd < 0) return 1;
    std::printf("sim_gadget: connected\n");
    std::fflush(stdout);
    const Outcome outcome = ServeConnection(fd, bench, *device);
    Disconnect(fd, udcFolder);
    if (outcome == Outcome::Silent) AwaitLeaving(bench);
  }
  return 0;
}
