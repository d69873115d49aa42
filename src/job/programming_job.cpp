#include "job/programming_job.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "device/device_identity.h"
#include "device/identity_display.h"
#include "device/memory_map.h"
#include "dfu/dfu_connection.h"
#include "dfu/dfu_session.h"
#include "dfu/memory_commands.h"
#include "job/download_log.h"
#include "job/run_commands.h"
#include "ledger/station_ledger.h"
#include "platform/platform.h"
#include "support/bounded_text.h"

namespace kestrune {
namespace {

// The file is read whole into a buffer of this size. Each run has its own: runs on several
// devices go on at once.
constexpr std::int32_t kFirmwareBufferSize = 1048576;

constexpr std::uint32_t kSmallestFirmware = 1024;
constexpr std::uint32_t kLargestFirmware = 983040;
// Erased sectors must hold whole data blocks.
constexpr std::uint32_t kSectorAlignment = 2048;
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

struct FlashSegment {
  std::uint32_t alternate = 0;  // the segment's index in the map
  const std::vector<MemorySector>* sectors = nullptr;
};

// The first segment whose first sector is writable flash; later sectors are not looked at.
std::optional<FlashSegment> FindFlashSegment(const MemoryMap* map) {
  if (map == nullptr) return std::nullopt;
  for (std::size_t i = 0; i < map->segments.size(); ++i) {
    const MemorySegment& segment = map->segments[i];
    if (segment.sectorCount != 0 && !segment.sectors.empty() &&
        segment.sectors.front().attribute == kWritableAttribute) {
      return FlashSegment{static_cast<std::uint32_t>(i), &segment.sectors};
    }
  }
  return std::nullopt;
}

class Run {
 public:
  Run(JobHost& host, StdfuLibrary& dfu, Clock& clock, const JobInputs& inputs)
      : m_host(host),
        m_dfu(dfu),
        m_clock(clock),
        m_inputs(inputs),
        m_shared(host.Shared()),
        m_session{dfu, clock, &m_shared.m_abortRequested, &m_shared.m_progressPos,
                  [&host] { host.PostCommand(ID_RUN_PROGRESS); }},
        m_connection(dfu),
        m_device(inputs.device),
        m_hardwareId(inputs.hardwareId) {}

  void Execute();

 private:
  bool Open() { return m_connection.Open(m_device.devicePath); }
  void Close() { m_connection.Close(); }
  bool AbortRequested() const { return m_shared.m_abortRequested.load() != 0; }
  void Status(const std::string& text) { m_host.ReportStatus(text); }
  // Frees the device before the box is shown, then waits until the operator closed the box.
  void Fail(const std::string& text) {
    Close();
    m_shared.m_runStatus = RunStatusFailed;
    m_host.ReportError(text);
  }
  void UserAbort() {
    Close();
    m_shared.m_runStatus = RunStatusAborted;
    Status("... User-Abbruch ...");
  }
  bool FindFlash() {
    const std::optional<FlashSegment> found = FindFlashSegment(m_device.memoryMap.get());
    if (!found) {
      Fail("In den Gerätedaten konnte kein Flash-Speicher gefunden werden !");
      return false;
    }
    m_segment = *found;
    return true;
  }
  bool SelectFlash() { return m_connection.SelectAlternate(m_segment.alternate); }

  bool ReadOptions(std::uint8_t (&bytes)[4]);
  bool EnsureOptionBytes();
  bool AwaitReregistration();
  bool ReadUniqueId();
  bool LoadFirmware();
  bool EraseSectors();
  bool ProgramAndVerify();
  void RecordInLedger(std::int64_t now);

  JobHost& m_host;
  StdfuLibrary& m_dfu;
  Clock& m_clock;
  const JobInputs& m_inputs;
  RunShared& m_shared;
  DfuSession m_session;
  // Whatever happens, no connection stays open once the run is over.
  DfuConnection m_connection;
  // The device data the run works from: that of the start, replaced when the device registered
  // anew. It keeps the memory map that m_segment points into alive.
  JobDevice m_device;
  FlashSegment m_segment;
  // The unique-ID text the log line names the device by: discovery's, or read by the run itself.
  std::string m_hardwareId;
  std::vector<std::uint8_t> m_firmware;  // the file, in a buffer of kFirmwareBufferSize
  std::uint32_t m_size = 0;              // bytes of the firmware file
};

void Run::Execute() {
  m_shared.m_logLineMissing = 0;
  if (m_device.memoryMap == nullptr) {
    Fail("Es sind keine Gerätedaten vorhanden !");
    return;
  }
  m_shared.m_runStatus = RunStatusNone;
  if (!FindFlash()) return;
  Status("... Öffne Gerät ...");
  if (!Open()) {
    Fail("Das Gerät konnte nicht geöffnet werden !");
    return;
  }
  if (!EnsureOptionBytes()) return;
  if (m_hardwareId.empty() && !ReadUniqueId()) return;
  if (!SelectFlash()) {
    Fail("Die USB Konfiguration konnte nicht eingestellt werden !");
    return;
  }
  if (!LoadFirmware()) return;
  m_shared.m_progressTotal = static_cast<int>(m_size / 2 + 2 * m_size);
  m_host.PostCommand(ID_RUN_PROGRESS_RANGE);
  if (!EraseSectors() || !ProgramAndVerify()) return;

  m_shared.m_runStatus = RunStatusSucceeded;
  Status("... Das Gerät wurde erfolgreich programmiert ...");
  Close();
  const std::time_t now = std::time(nullptr);
  if (!AppendDownloadLog(m_inputs.infosFolder,
                         DownloadRecord{m_hardwareId, m_inputs.firmwarePath, m_inputs.deviceKind,
                                        m_inputs.firmwareVersion, m_inputs.firmwareDate},
                         static_cast<std::int32_t>(now))) {
    // The device is programmed all the same; the operator must know that its record is missing.
    m_shared.m_logLineMissing = 1;
    m_host.ReportWarning(
        "Das Gerät wurde programmiert, aber seine Zeile im Download-Log fehlt !\n\nSie konnte "
        "nicht geschrieben werden in:\n" +
        DownloadLogPath(m_inputs.infosFolder));
  }
  RecordInLedger(now);
}

// A ledger out of reach does not undo the verification: the record waits in the queue.
void Run::RecordInLedger(std::int64_t now) {
  if (m_inputs.ledger == nullptr) return;
  const std::string& path = m_inputs.firmwarePath;
  std::int32_t nameLength = 0;
  const char* name =
      FileNamePart(static_cast<std::int32_t>(path.size()), path.c_str(), &nameLength);
  RunRecord run;
  run.time = now;
  run.uniqueId = m_hardwareId;
  run.firmwareFile.assign(name, static_cast<std::size_t>(nameLength));
  run.deviceType = m_inputs.deviceKind;
  run.version = m_inputs.firmwareVersion;
  run.firmwareDate = m_inputs.firmwareDate;
  OperatorMessage warning;
  if (m_inputs.ledger->RecordVerifiedRun(std::move(run), warning) != RunRecordOutcome::Recorded) {
    m_host.ReportWarning(warning.text);
  }
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
  for (int i = 0; i < 20 && m_shared.m_deviceRemoved.load() == 0; ++i) m_clock.Sleep(100);
  m_host.PostCommand(ID_RUN_REENUMERATE);
  m_clock.Sleep(200);
  for (int i = 0; i < 50; ++i) {
    m_host.PostCommand(ID_RUN_REENUMERATE);
    m_clock.Sleep(100);
    if (m_host.CurrentDevice().deviceCount != 0) break;
  }
  m_clock.Sleep(50);
  m_device = m_host.CurrentDevice();
  if (m_device.deviceCount != 1) {
    Fail(
        "Das Geräte hat sich nicht wieder angemeldet !\n\nBitte stecken sie das Geräte ab, und "
        "wieder an\nund versuchen sie es dan erneut.");
    return false;
  }
  if (!FindFlash()) return false;
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
  DfuSession uncounted{m_dfu, m_clock, &m_shared.m_abortRequested, nullptr, {}};
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

bool Run::LoadFirmware() {
  Status("... Firmware laden ...");
  // A file beyond the buffer reads as capacity - 2 bytes and so is refused as too large.
  m_firmware.assign(kFirmwareBufferSize, 0);
  m_size = static_cast<std::uint32_t>(
      ReadWholeFile(m_inputs.firmwarePath.c_str(), m_firmware.data(), kFirmwareBufferSize));
  if (m_size < kSmallestFirmware || m_size > kLargestFirmware) {
    Fail("Die Firmware-Datei existiert nicht, oder hat die falsche Größe !");
    return false;
  }
  if (m_size >= m_device.flashSize) {
    Fail(Format("Die Firmware passt nicht in den Flash (Firmware = %u.%u kB) !", m_size / 1024,
                m_size % 1024 * 10 / 1024));
    return false;
  }
  return true;
}

// Erases from the first sector on until the file is covered; each erased sector must be whole
// data blocks and must not leave a gap before the next one.
bool Run::EraseSectors() {
  const std::vector<MemorySector>& sectors = *m_segment.sectors;
  std::uint32_t erased = 0;
  for (std::size_t c = 0; c < sectors.size(); ++c) {
    if (AbortRequested()) {
      UserAbort();
      return false;
    }
    if (erased >= m_size) break;
    const MemorySector& sector = sectors[c];
    if (sector.size % kSectorAlignment != 0) {
      Fail("Falsches Flash Alignment !");
      return false;
    }
    const std::uint32_t end = sector.startAddress + sector.size;
    if (c + 1 < sectors.size() && end != sectors[c + 1].startAddress) {
      Fail(Format("Der Flash im Gerät ist nicht durchgehent (%08Xh..%08Xh) !", end,
                  sectors[c + 1].startAddress));
      return false;
    }
    Status(Format("... Lösche Sektor %i   (%08Xh) ...", static_cast<int>(c), sector.startAddress));
    bool done = false;
    for (int attempt = 0; attempt < kEraseTries && !done; ++attempt) {
      if (!SelectFlash()) {
        DfuHandle handle = m_connection.Handle();
        m_dfu.STDFU_Abort(&handle);
        m_clock.Sleep(10);
        continue;
      }
      done = EraseSector(m_session, m_connection.Handle(), sector.startAddress);
    }
    if (!done) {
      Fail(
          Format("Der Flash-Sektor bei %08Xh konnte nicht gelöscht werden !", sector.startAddress));
      return false;
    }
    erased += sector.size;
    m_shared.m_progressPos = static_cast<int>(std::min(erased, m_size) / 2);
    m_host.PostCommand(ID_RUN_PROGRESS);
  }
  if (AbortRequested()) {
    UserAbort();
    return false;
  }
  return true;
}

bool Run::ProgramAndVerify() {
  const std::uint32_t start = m_segment.sectors->front().startAddress;
  std::uint32_t offset = 0;
  Status(Format("... Programmiere Flash ab (%08Xh) ...", start));
  const TransferResult written =
      WriteMemory(m_session, m_connection.Handle(), start, m_size, m_firmware.data(), &offset);
  if (written == TransferResult::Aborted) {
    UserAbort();
    return false;
  }
  if (written == TransferResult::Failed) {
    Fail(Format("Der Flash-Sektor bei %08Xh konnte nicht geschrieben werden !", start + offset));
    return false;
  }
  Status(Format("... Prüfe den Flash ab (%08Xh) ...", start));
  const TransferResult verified =
      VerifyMemory(m_session, m_connection.Handle(), start, m_size, m_firmware.data(), &offset);
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

void ProgrammingJob(JobHost& host, StdfuLibrary& dfu, Clock& clock, const JobInputs& inputs) {
  Run(host, dfu, clock, inputs).Execute();
  host.PostCommand(ID_RUN_FINISHED);
}

}  // namespace kestrune
