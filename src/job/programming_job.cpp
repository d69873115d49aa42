#include "job/programming_job.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>
#include <variant>
#include <vector>

#include "device/device_identity.h"
#include "device/identity_display.h"
#include "dfu/dfu_connection.h"
#include "dfu/dfu_session.h"
#include "dfu/memory_commands.h"
#include "firmware/firmware_size.h"
#include "job/download_log.h"
#include "job/flash_plan.h"
#include "platform/platform.h"

namespace kestrune {
namespace {

constexpr int kEraseTries = 4;

// Option bytes 0, 1, 8, 9: user options, read protection level 0, no write protection.
constexpr std::uint8_t kOptionBytes[4] = {0xE3, 0xAA, 0xFF, 0x3F};
constexpr const char* kOptionsNotRead = "Vom Gerät konnten die Optionen nicht abgefragt werden !";

// Formats a text of at most 255 characters, as the window's hand-over buffers hold.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

class Run {
 public:
  Run(RunEvents& events, const RunControl& control, StdfuLibrary& dfu, Clock& clock,
      const JobInputs& inputs)
      : m_events(events),
        m_control(control),
        m_dfu(dfu),
        m_clock(clock),
        m_inputs(inputs),
        m_session{dfu, clock, &control.m_abortRequested, &m_phaseBytes,
                  [this] { m_events.Progress(static_cast<std::uint32_t>(m_phaseBytes.load())); }},
        m_connection(dfu),
        m_device(inputs.device),
        m_hardwareId(inputs.hardwareId) {}

  // The run's result; the caller reports it as the last event.
  RunResult Execute();

 private:
  bool Open() { return m_connection.Open(m_device.devicePath); }
  void Close() { m_connection.Close(); }
  bool AbortRequested() const { return m_control.m_abortRequested.load() != 0; }
  void Status(const std::string& text) { m_events.Status(text); }
  // Frees the device before the box is shown, then waits until the operator closed the box.
  void Fail(const std::string& text) {
    Close();
    m_result.outcome = RunOutcome::Failed;
    m_events.Failed(text);
  }
  void UserAbort() {
    Close();
    m_result.outcome = RunOutcome::Aborted;
    m_events.Aborted();
    Status("... User-Abbruch ...");
  }
  void StartPhase(RunPhase phase) {
    m_phaseBytes = 0;
    m_events.PhaseStarted(phase, m_plan.imageSize);
  }
  // Plans the run for the device data it holds now; a refusal fails the run.
  bool Plan() {
    FlashPlanResult result = MakeFlashPlan(m_size, m_device.memoryMap.get(), m_device.flashSize);
    if (const auto* refused = std::get_if<PlanRefused>(&result)) {
      Fail(RefusalText(*refused));
      return false;
    }
    m_plan = std::get<FlashPlan>(std::move(result));
    return true;
  }
  bool SelectFlash() { return m_connection.SelectAlternate(m_plan.alternate); }

  bool ReadOptions(std::uint8_t (&bytes)[4]);
  bool EnsureOptionBytes();
  bool AwaitReregistration();
  bool ReadUniqueId();
  void LoadFirmware();
  bool EraseSectors();
  bool ProgramAndVerify();

  RunEvents& m_events;
  const RunControl& m_control;
  StdfuLibrary& m_dfu;
  Clock& m_clock;
  const JobInputs& m_inputs;
  // Bytes of the current phase that the block transfers moved.
  std::atomic<int> m_phaseBytes{0};
  DfuSession m_session;
  // Whatever happens, no connection stays open once the run is over.
  DfuConnection m_connection;
  // The device data the run works from: that of the start, replaced when the device registered
  // anew.
  JobDevice m_device;
  FlashPlan m_plan;
  // The unique-ID text the log line names the device by: discovery's, or read by the run itself.
  std::string m_hardwareId;
  std::vector<std::uint8_t> m_firmware;  // the file, in a buffer of kFirmwareSizeLimit bytes
  std::int64_t m_size = 0;               // bytes read of the firmware file
  RunResult m_result;
};

RunResult Run::Execute() {
  // Everything that can refuse the image is known before the device is touched: on a protected
  // device the option-byte rewrite below erases the whole chip.
  LoadFirmware();
  if (!Plan()) return m_result;
  if (AbortRequested()) {
    UserAbort();
    return m_result;
  }
  Status("... Öffne Gerät ...");
  if (!Open()) {
    Fail("Das Gerät konnte nicht geöffnet werden !");
    return m_result;
  }
  if (!EnsureOptionBytes()) return m_result;
  if (m_hardwareId.empty() && !ReadUniqueId()) return m_result;
  if (!SelectFlash()) {
    Fail("Die USB Konfiguration konnte nicht eingestellt werden !");
    return m_result;
  }
  if (!EraseSectors() || !ProgramAndVerify()) return m_result;

  m_result.outcome = RunOutcome::Succeeded;
  m_events.Succeeded();
  Status("... Das Gerät wurde erfolgreich programmiert ...");
  Close();
  if (!AppendDownloadLog(m_inputs.infosFolder,
                         DownloadRecord{m_hardwareId, m_inputs.firmwarePath, m_inputs.deviceKind,
                                        m_inputs.firmwareVersion, m_inputs.firmwareDate},
                         static_cast<std::int32_t>(std::time(nullptr)))) {
    // The device is programmed all the same; the operator must know that its record is missing.
    m_result.logLineMissing = true;
    m_events.Warning(
        "Das Gerät wurde programmiert, aber seine Zeile im Download-Log fehlt !\n\nSie konnte "
        "nicht geschrieben werden in:\n" +
        DownloadLogPath(m_inputs.infosFolder));
  }
  return m_result;
}

bool Run::ReadOptions(std::uint8_t (&bytes)[4]) {
  if (!ReadOptionBytes(m_session, m_connection.Handle(), &bytes[0], &bytes[1], &bytes[2],
                       &bytes[3])) {
    Fail(kOptionsNotRead);
    return false;
  }
  return true;
}

// True with the connection open on a device whose option bytes are right.
bool Run::EnsureOptionBytes() {
  Status("... Optionen auslesen ...");
  std::uint8_t bytes[4] = {};
  if (!ReadOptions(bytes)) return false;
  if (std::equal(bytes, bytes + 4, kOptionBytes)) return true;
  Status("... Optionen speichern ...");
  if (!WriteOptionBytes(m_session, m_connection.Handle(), kOptionBytes[0], kOptionBytes[1],
                        kOptionBytes[2], kOptionBytes[3])) {
    Fail(kOptionsNotRead);
    return false;
  }
  Close();
  if (!AwaitReregistration()) return false;
  // A write whose work failed, or that never started, leaves the old bytes and no reset: the
  // device is opened again all the same, so only reading them tells.
  if (!ReadOptions(bytes)) return false;
  if (!std::equal(bytes, bytes + 4, kOptionBytes)) {
    Fail("Die Optionen konnten im Gerät nicht gespeichert werden !");
    return false;
  }
  return true;
}

// The device resets after its option bytes were written: wait until it left the bus (at most
// 2 s; a missed removal is no reason to stop) and until the window counts it again (at most 5 s),
// then open it anew.
bool Run::AwaitReregistration() {
  Status("... Warte auf die neue Geräteanmeldung ...");
  for (int i = 0; i < 20 && m_control.m_deviceRemoved.load() == 0; ++i) m_clock.Sleep(100);
  m_events.AwaitingDevice();
  m_clock.Sleep(200);
  for (int i = 0; i < 50; ++i) {
    m_events.AwaitingDevice();
    m_clock.Sleep(100);
    if (m_events.CurrentDevice().deviceCount != 0) break;
  }
  m_clock.Sleep(50);
  m_device = m_events.CurrentDevice();
  if (m_device.deviceCount != 1) {
    Fail(
        "Das Geräte hat sich nicht wieder angemeldet !\n\nBitte stecken sie das Geräte ab, und "
        "wieder an\nund versuchen sie es dan erneut.");
    return false;
  }
  // The device came back with data of its own: the plan must hold for it too.
  if (!Plan()) return false;
  Status("... Gerät neu öffnen ...");
  if (!Open()) {
    Fail("Das Gerät konnte nicht wieder geöffnet werden !");
    return false;
  }
  return true;
}

// Discovery could not read the OTP area, so the log line would not say which device this was:
// read the unique ID over the run's own connection, from the area's start as discovery does.
bool Run::ReadUniqueId() {
  OtpImage image{};
  // Not part of the run's work units: the bar counts erasing, programming and verifying only.
  DfuSession uncounted{m_dfu, m_clock, &m_control.m_abortRequested, nullptr, {}};
  const TransferResult read =
      m_connection.SelectAlternate(kOtpAlternate)
          ? ReadMemory(uncounted, m_connection.Handle(), kOtpAddress, kOtpReadLength, image.data())
          : TransferResult::Failed;
  if (read == TransferResult::Aborted) {
    UserAbort();
    return false;
  }
  if (read == TransferResult::Failed) {
    Fail("Die Unique-ID des Gerätes konnte nicht gelesen werden !");
    return false;
  }
  m_hardwareId = UniqueIdText(image.data() + kUniqueIdOffset);
  return true;
}

void Run::LoadFirmware() {
  Status("... Firmware laden ...");
  // A file beyond the buffer reads as capacity - 2 bytes and so is refused as too large.
  m_firmware.assign(kFirmwareSizeLimit, 0);
  m_size = ReadWholeFile(m_inputs.firmwarePath.c_str(), m_firmware.data(),
                         static_cast<std::int32_t>(kFirmwareSizeLimit));
}

// Erases the planned sectors in order, each with a few tries.
bool Run::EraseSectors() {
  StartPhase(RunPhase::Erasing);
  std::uint32_t erased = 0;
  for (const PlannedErase& sector : m_plan.erases) {
    if (AbortRequested()) {
      UserAbort();
      return false;
    }
    Status(Format("... Lösche Sektor %i   (%08Xh) ...", static_cast<int>(sector.index),
                  sector.address));
    bool done = false;
    for (int attempt = 0; attempt < kEraseTries && !done; ++attempt) {
      if (!SelectFlash()) {
        DfuHandle handle = m_connection.Handle();
        m_dfu.STDFU_Abort(&handle);
        m_clock.Sleep(10);
        continue;
      }
      done = EraseSector(m_session, m_connection.Handle(), sector.address);
    }
    if (!done) {
      Fail(Format("Der Flash-Sektor bei %08Xh konnte nicht gelöscht werden !", sector.address));
      return false;
    }
    erased += sector.size;
    m_events.Progress(std::min(erased, m_plan.imageSize));
  }
  if (AbortRequested()) {
    UserAbort();
    return false;
  }
  return true;
}

bool Run::ProgramAndVerify() {
  const std::uint32_t start = m_plan.startAddress;
  const std::uint32_t size = m_plan.imageSize;
  std::uint32_t offset = 0;
  Status(Format("... Programmiere Flash ab (%08Xh) ...", start));
  StartPhase(RunPhase::Programming);
  const TransferResult written =
      WriteMemory(m_session, m_connection.Handle(), start, size, m_firmware.data(), &offset);
  if (written == TransferResult::Aborted) {
    UserAbort();
    return false;
  }
  if (written == TransferResult::Failed) {
    Fail(Format("Der Flash-Sektor bei %08Xh konnte nicht geschrieben werden !", start + offset));
    return false;
  }
  Status(Format("... Prüfe den Flash ab (%08Xh) ...", start));
  StartPhase(RunPhase::Verifying);
  const TransferResult verified =
      VerifyMemory(m_session, m_connection.Handle(), start, size, m_firmware.data(), &offset);
  if (verified == TransferResult::Aborted) {
    UserAbort();
    return false;
  }
  if (verified == TransferResult::Failed) {
    Fail(Format("Beim Prüfen wurde bei Adresse %08Xh ein Fehler entdeckt !", start + offset));
    return false;
  }
  return true;
}

}  // namespace

void ProgrammingJob(RunEvents& events, const RunControl& control, StdfuLibrary& dfu, Clock& clock,
                    const JobInputs& inputs) {
  events.Finished(Run(events, control, dfu, clock, inputs).Execute());
}

}  // namespace kestrune
