#include "job/programming_job.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>
#include <variant>
#include <vector>

#include "device/device_identity.h"
#include "device/otp_read.h"
#include "device/unique_id_text.h"
#include "dfu/dfu_connection.h"
#include "dfu/dfu_session.h"
#include "dfu/dfu_timings.h"
#include "dfu/memory_commands.h"
#include "job/download_log.h"
#include "job/firmware_image.h"
#include "job/flash_plan.h"
#include "job/required_option_bytes.h"
#include "job/run_recorder.h"
#include "job/sector_actions.h"
#include "job/sector_pre_read.h"
#include "platform/platform.h"

namespace kestrune {
namespace {

using namespace dfu_timing;

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
  // Frees the device before the box is shown, then waits until the operator closed the box. A
  // step that failed because the operator asked to stop (waits end on it) is a stop, as the
  // transfers count it.
  void Fail(const std::string& text) {
    if (AbortRequested()) {
      UserAbort();
      return;
    }
    if (m_session.deviceGone) m_result.failureReason = RunFailureReason::DeviceGone;
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
    FlashPlanResult result =
        MakeFlashPlan(m_firmware.size, m_device.memoryMap.get(), m_device.flashSize);
    if (const auto* refused = std::get_if<PlanRefused>(&result)) {
      Fail(RefusalText(*refused));
      return false;
    }
    m_plan = std::get<FlashPlan>(std::move(result));
    return true;
  }
  bool SelectFlash() { return m_connection.SelectAlternate(m_plan.alternate); }

  bool ReadOptions(OptionBits& bytes);
  bool Unprotect();
  bool EnsureOptionBytes();
  bool SameOptions(const OptionBits& bytes) const {
    return HasRequiredOptionBytes(bytes, m_device.flashSize);
  }
  bool AwaitReregistration(std::uint32_t leaveMs);
  bool Reopen();
  void Leave();
  bool ReadUniqueId();
  void LoadFirmware();
  bool EraseSectors();
  bool Erase(const PlannedErase& sector);
  bool PreRead();
  bool ProgramAndVerify();
  bool Transfer(RunPhase phase, const std::vector<ImageRange>& ranges);

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
  bool m_uniqueIdMissing = false;
  FirmwareImage m_firmware;
  // What happens to each planned sector, in the plan's order, once erasing decided it.
  std::vector<SectorAction> m_actions;
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
  if (m_inputs.leave) Leave();
  Close();
  const DownloadRecord record{m_hardwareId, m_inputs.firmwarePath, m_inputs.deviceKind,
                              m_inputs.firmwareVersion, m_inputs.firmwareDate};
  const std::time_t now = std::time(nullptr);
  const std::optional<std::string> logLine =
      AppendDownloadLog(m_inputs.infosFolder, record, static_cast<std::int32_t>(now));
  if (logLine) {
    m_result.logLine = *logLine;
  } else {
    // The device is programmed all the same; the operator must know that its record is missing.
    m_result.logLineMissing = true;
    m_events.Warning(
        "Das Gerät wurde programmiert, aber seine Zeile im Download-Log fehlt !\n\nSie konnte "
        "nicht geschrieben werden in:\n" +
        DownloadLogPath(m_inputs.infosFolder));
  }
  if (m_uniqueIdMissing) {
    m_result.uniqueIdMissing = true;
    m_events.Warning(
        "Das Gerät wurde programmiert, aber seine Unique-ID konnte nicht gelesen werden !\n\nSeine "
        "Zeile im Download-Log nennt das Gerät nicht.");
  }
  // A record that must wait does not undo the verification: the operator is told, that is all.
  if (m_inputs.recorder != nullptr) {
    const std::string warning = m_inputs.recorder->Record(record, now);
    if (!warning.empty()) m_events.Warning(warning);
  }
  return m_result;
}

// The application starts from the flash start; the device leaves the bus for it.
void Run::Leave() {
  Status("... Starte die Firmware ...");
  if (!SelectFlash() || !LeaveDfuMode(m_session, m_connection.Handle(), m_plan.startAddress)) {
    m_events.Warning("Die neue Firmware konnte nicht gestartet werden !");
  }
}

bool Run::ReadOptions(OptionBits& bytes) {
  if (!ReadOptionBytes(m_session, m_connection.Handle(), &bytes[0], &bytes[1], &bytes[2],
                       &bytes[3])) {
    if (m_session.lastErrorStatus == errVENDOR) {
      m_result.failureReason = RunFailureReason::ReadProtected;
    }
    Fail(kOptionsNotRead);
    return false;
  }
  return true;
}

// Read protection level 1 refuses everything; Read Unprotect erases the chip and resets it.
bool Run::Unprotect() {
  Status("... Leseschutz aufheben (der ganze Flash wird gelöscht) ...");
  if (!ReadUnprotect(m_session, m_connection.Handle())) {
    Fail("Der Leseschutz des Gerätes konnte nicht aufgehoben werden !");
    return false;
  }
  Close();
  return AwaitReregistration(kUnprotectLeaveMs);
}

// True with the connection open on a device whose option bytes are right.
bool Run::EnsureOptionBytes() {
  Status("... Optionen auslesen ...");
  OptionBits bytes{};
  if (m_inputs.unprotect) {
    // Only a device that refuses the read for its read protection is unprotected.
    if (!ReadOptionBytes(m_session, m_connection.Handle(), &bytes[0], &bytes[1], &bytes[2],
                         &bytes[3])) {
      if (m_session.lastErrorStatus != errVENDOR) {
        Fail(kOptionsNotRead);
        return false;
      }
      if (!Unprotect()) return false;
      if (!ReadOptions(bytes)) return false;
    }
  } else if (!ReadOptions(bytes)) {
    return false;
  }
  if (SameOptions(bytes)) return true;
  Status("... Optionen speichern ...");
  if (!WriteOptionBytes(m_session, m_connection.Handle(), kRequiredOptionBytes[0],
                        kRequiredOptionBytes[1], kRequiredOptionBytes[2],
                        kRequiredOptionBytes[3])) {
    Fail(kOptionsNotRead);
    return false;
  }
  Close();
  if (!AwaitReregistration(kOptionResetLeaveMs)) return false;
  // A write whose work failed, or that never started, leaves the old bytes and no reset: the
  // device is opened again all the same, so only reading them tells.
  if (!ReadOptions(bytes)) return false;
  if (!SameOptions(bytes)) {
    Fail("Die Optionen konnten im Gerät nicht gespeichert werden !");
    return false;
  }
  return true;
}

// The device resets after its option bytes were written: wait until it left the bus (at most
// `leaveMs`; a missed removal is no reason to stop) and until the window counts it again (at
// most 5 s), then open it anew.
bool Run::AwaitReregistration(std::uint32_t leaveMs) {
  Status("... Warte auf die neue Geräteanmeldung ...");
  m_session.ForgetLastFailure();  // the device was meant to leave
  for (std::uint32_t waited = 0;
       waited < leaveMs && m_control.m_deviceRemoved.load() == 0 && !AbortRequested();
       waited += kRegistrationPollMs) {
    m_clock.Sleep(kRegistrationPollMs);
  }
  m_events.AwaitingDevice();
  m_clock.Sleep(kFirstCountAfterMs);
  // A stop request ends the wait at once, instead of as a device that never came back.
  for (int i = 0; i < kRegistrationCounts && !AbortRequested(); ++i) {
    m_events.AwaitingDevice();
    m_clock.Sleep(kRegistrationPollMs);
    if (m_events.CurrentDevice().deviceCount != 0) break;
  }
  if (AbortRequested()) {
    UserAbort();
    return false;
  }
  m_clock.Sleep(kOpenAfterCountMs);
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
  if (!Reopen()) {
    Fail("Das Gerät konnte nicht wieder geöffnet werden !");
    return false;
  }
  return true;
}

// Opens the device that registered anew, trying again for a while: right after its arrival
// another program (a desktop service probing it) may hold it.
bool Run::Reopen() {
  for (std::uint32_t waited = 0; !Open(); waited += kRegistrationPollMs) {
    if (waited >= kReopenMs || AbortRequested()) return false;
    m_clock.Sleep(kRegistrationPollMs);
  }
  return true;
}

// Discovery could not read the unique ID, so the log line would not say which device this was:
// read it over the run's own connection, as discovery does. A device that will not give it at
// all is programmed all the same; the operator is warned at the end.
bool Run::ReadUniqueId() {
  OtpImage image{};
  // Not part of the run's work units: the bar counts erasing, programming and verifying only.
  DfuSession uncounted{m_dfu, m_clock, &m_control.m_abortRequested, nullptr, {}};
  switch (ReadOtpArea(uncounted, m_connection.Handle(), image)) {
    case OtpRead::Aborted:
      UserAbort();
      return false;
    case OtpRead::Failed:
      m_session.deviceGone = uncounted.deviceGone;
      Fail("Die Unique-ID des Gerätes konnte nicht gelesen werden !");
      return false;
    case OtpRead::WithoutUniqueId:
      m_uniqueIdMissing = true;
      return true;
    case OtpRead::Complete:
      break;
  }
  m_hardwareId = UniqueIdText(image.data() + kUniqueIdOffset);
  return true;
}

void Run::LoadFirmware() {
  Status("... Firmware laden ...");
  m_firmware = LoadFirmwareImage(m_inputs.firmwarePath);
}

// Erases the planned sectors in order. When unchanged flash is skipped, each sector is read first
// and erased only when it holds neither the image nor blank flash.
bool Run::EraseSectors() {
  StartPhase(RunPhase::Erasing);
  std::uint32_t erased = 0;
  m_actions.assign(m_plan.erases.size(), SectorAction::EraseAndWrite);
  if (m_inputs.skipUnchanged && !PreRead()) return false;
  for (std::size_t i = 0; i < m_plan.erases.size(); ++i) {
    const PlannedErase& sector = m_plan.erases[i];
    if (AbortRequested()) {
      UserAbort();
      return false;
    }
    const int index = static_cast<int>(sector.index);
    switch (m_actions[i]) {
      case SectorAction::Skip:
        Status(Format("... Sektor %i   (%08Xh) ist unverändert ...", index, sector.address));
        break;
      case SectorAction::Write:
        Status(Format("... Sektor %i   (%08Xh) ist leer ...", index, sector.address));
        break;
      case SectorAction::EraseAndWrite:
        Status(Format("... Lösche Sektor %i   (%08Xh) ...", index, sector.address));
        if (!Erase(sector)) return false;
        break;
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

// One sector, with a few tries.
bool Run::Erase(const PlannedErase& sector) {
  for (int attempt = 0; attempt < kEraseTries; ++attempt) {
    if (!SelectFlash()) {
      DfuHandle handle = m_connection.Handle();
      m_dfu.STDFU_Abort(&handle);
      m_clock.Sleep(kRetryPauseMs);
      continue;
    }
    if (EraseSector(m_session, m_connection.Handle(), sector.address)) return true;
  }
  Fail(Format("Der Flash-Sektor bei %08Xh konnte nicht gelöscht werden !", sector.address));
  return false;
}

// Decides each sector's action from what it holds; false when the run stopped. A read that
// failed only leaves sectors to be erased.
bool Run::PreRead() {
  Status(Format("... Lese den Flash ab (%08Xh) ...", m_plan.startAddress));
  // Not part of the run's work units: the bar counts the image's bytes per phase.
  DfuSession uncounted{m_dfu, m_clock, &m_control.m_abortRequested, nullptr, {}};
  PreReadResult read =
      PreReadSectors(uncounted, m_connection.Handle(), m_plan, m_firmware.bytes.data());
  if (read.aborted) {
    UserAbort();
    return false;
  }
  m_actions = std::move(read.actions);
  return true;
}

// Writes, then reads back, the image outside the sectors that already held it: those count as
// done in both phases.
bool Run::ProgramAndVerify() {
  const std::vector<ImageRange> ranges = RangesToWrite(m_plan, m_actions);
  return Transfer(RunPhase::Programming, ranges) && Transfer(RunPhase::Verifying, ranges);
}

bool Run::Transfer(RunPhase phase, const std::vector<ImageRange>& ranges) {
  const bool writing = phase == RunPhase::Programming;
  const auto countAsDone = [this](std::uint32_t bytes) {
    if (static_cast<std::uint32_t>(m_phaseBytes.load()) == bytes) return;
    m_phaseBytes = static_cast<int>(bytes);
    m_events.Progress(bytes);
  };
  if (ranges.empty()) StartPhase(phase);
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    const std::uint32_t start = m_plan.startAddress + ranges[i].offset;
    const std::uint8_t* data = m_firmware.bytes.data() + ranges[i].offset;
    Status(Format(
        writing ? "... Programmiere Flash ab (%08Xh) ..." : "... Prüfe den Flash ab (%08Xh) ...",
        start));
    if (i == 0) StartPhase(phase);
    countAsDone(ranges[i].offset);
    std::uint32_t offset = 0;
    const TransferResult result = writing ? WriteMemory(m_session, m_connection.Handle(), start,
                                                        ranges[i].length, data, &offset)
                                          : VerifyMemory(m_session, m_connection.Handle(), start,
                                                         ranges[i].length, data, &offset);
    if (result == TransferResult::Aborted) {
      UserAbort();
      return false;
    }
    if (result != TransferResult::Done) {
      Fail(Format(writing ? "Der Flash-Sektor bei %08Xh konnte nicht geschrieben werden !"
                          : "Beim Prüfen wurde bei Adresse %08Xh ein Fehler entdeckt !",
                  start + offset));
      return false;
    }
  }
  countAsDone(m_plan.imageSize);
  return true;
}

}  // namespace

void ProgrammingJob(RunEvents& events, const RunControl& control, StdfuLibrary& dfu, Clock& clock,
                    const JobInputs& inputs) {
  events.Finished(Run(events, control, dfu, clock, inputs).Execute());
}

}  // namespace kestrune
