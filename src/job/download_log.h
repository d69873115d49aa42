#pragma once
// The download log: one line in Infos/DownloadList.csv for every verified programming run.
// 8-bit text written in binary mode, every line ends with ";" and a single line feed; a header
// line is written when the file is empty.

#include <cstdint>
#include <optional>
#include <string>

#include "support/format_time.h"

namespace kestrune {

// The texts of one record (8-bit text), as they were when the run started.
struct DownloadRecord {
  std::string hardwareId;    // the device's unique-ID text
  std::string firmwarePath;  // only its file-name part is logged
  std::string deviceKind;
  std::string firmwareVersion;
  std::string firmwareDate;
};

inline constexpr const char* kDownloadLogName = "DownloadList.csv";

// The file-name part of the record's firmware path: what the log names the firmware by.
std::string LoggedFileName(const DownloadRecord& record);

// The path of DownloadList.csv in `folder`.
std::string DownloadLogPath(const std::string& folder);

// Appends the record to DownloadList.csv in `folder` (created with its parents when missing),
// stamped with `time` (seconds since 1970) as local "yyyy-mm-dd hh:mm:ss". Texts are written as
// they are, except that a CR or LF becomes a blank so that a record stays one line. Returns the
// line written (without its line feed), or nothing when the folder or the file could not be made
// or written: the record is lost, which the caller tells the operator.
std::optional<std::string> AppendDownloadLog(const std::string& folder,
                                             const DownloadRecord& record, std::int32_t time,
                                             CalendarConversion local = LocalCalendar);

}  // namespace kestrune
