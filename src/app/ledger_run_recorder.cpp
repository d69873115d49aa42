#include "app/ledger_run_recorder.h"

namespace kestrune {

std::string LedgerRunRecorder::Record(const DownloadRecord& record, std::int64_t time) {
  RunRecord run;
  run.time = time;
  run.uniqueId = record.hardwareId;
  run.firmwareFile = LoggedFileName(record);
  run.deviceType = record.deviceKind;
  run.version = record.firmwareVersion;
  run.firmwareDate = record.firmwareDate;
  OperatorMessage warning;
  std::lock_guard lock(m_recording);
  if (m_ledger.RecordVerifiedRun(std::move(run), warning) == RunRecordOutcome::Recorded) return {};
  return warning.text;
}

}  // namespace kestrune
