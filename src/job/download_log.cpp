#include "job/download_log.h"

#include <cstdio>
#include <mutex>

#include "platform/platform.h"
#include "support/bounded_text.h"

namespace kestrune {
namespace {

// A line break inside a text would split the record.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string RecordLine(const DownloadRecord& record, std::int32_t time, CalendarConversion local) {
  char stamp[kFormatTimeCapacity];
  FormatTime(stamp, time, time_flags::kIsoLocal, local);
  return std::string(stamp) + ";\"" + OneLine(record.hardwareId) + "\";\"" +
         OneLine(LoggedFileName(record)) + "\";\"" + OneLine(record.deviceKind) + "\";\"" +
         OneLine(record.firmwareVersion) + " from " + OneLine(record.firmwareDate) + "\";\n";
}

}  // namespace

std::string LoggedFileName(const DownloadRecord& record) {
  std::int32_t nameLength = 0;
  const char* name = FileNamePart(static_cast<std::int32_t>(record.firmwarePath.size()),
                                  record.firmwarePath.c_str(), &nameLength);
  return std::string(name, static_cast<std::size_t>(nameLength));
}

std::string DownloadLogPath(const std::string& folder) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return path + kDownloadLogName;
}

std::optional<std::string> AppendDownloadLog(const std::string& folder,
                                             const DownloadRecord& record, std::int32_t time,
                                             CalendarConversion local) {
  // Runs on several devices may end together: one at a time, so that each record stays one
  // line and only the first writes the header.
  static std::mutex appending;
  std::lock_guard lock(appending);
  CreateDirectoryPath(folder.c_str());
  std::FILE* file = std::fopen(DownloadLogPath(folder).c_str(), "ab");
  if (file == nullptr) return std::nullopt;
  std::string text;
  if (std::fseek(file, 0, SEEK_END) == 0 && std::ftell(file) == 0) {
    text = "<Zeit>;<Hardware-ID>;<Dateiname>;<Geräteart>;<Version+Datum>;\n";
  }
  const std::string line = RecordLine(record, time, local);
  text += line;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) return std::nullopt;
  return line.substr(0, line.size() - 1);
}

}  // namespace kestrune
