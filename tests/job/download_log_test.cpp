#include "job/download_log.h"

#include <gtest/gtest.h>

#include <string>

#include "testkit/temp_folder.h"

namespace kestrune {
namespace {

using testkit::ReadFileText;
using testkit::TempFolder;

constexpr std::int32_t kMarch7 = 1615107901;  // 2021-03-07 09:05:01 UTC

const DownloadRecord kRecord{"0034001A3235510D37333934", "D:\\fw\\x.bin", "KST-4", "V1.02",
                             "07.03.2021"};

TEST(DownloadLog, FirstRunCreatesFolderAndHeaderLaterRunsOnlyAppend) {
  TempFolder temp;
  const std::string folder = temp.File("app/Infos");
  ASSERT_TRUE(AppendDownloadLog(folder, kRecord, kMarch7, UtcCalendar));
  ASSERT_TRUE(AppendDownloadLog(folder + "/", kRecord, kMarch7 + 60, UtcCalendar));
  EXPECT_EQ(ReadFileText(temp.File("app/Infos/DownloadList.csv")),
            "<Zeit>;<Hardware-ID>;<Dateiname>;<Ger\xE4teart>;<Version+Datum>;\n"
            "2021-03-07 09:05:01;\"0034001A3235510D37333934\";\"x.bin\";\"KST-4\";"
            "\"V1.02 from 07.03.2021\";\n"
            "2021-03-07 09:06:01;\"0034001A3235510D37333934\";\"x.bin\";\"KST-4\";"
            "\"V1.02 from 07.03.2021\";\n");
}

TEST(DownloadLog, LogsTheFileNamePartOfThePath) {
  const struct {
    const char* path;
    const char* logged;
  } cases[] = {{"D:\\fw\\x.bin", "x.bin"},
               {"/srv/firmware/app v2.bin", "app v2.bin"},
               {"C:app.bin", "app.bin"},
               {"plain.bin", "plain.bin"}};
  for (const auto& c : cases) {
    TempFolder temp;
    DownloadRecord record = kRecord;
    record.firmwarePath = c.path;
    ASSERT_TRUE(AppendDownloadLog(temp.Path(), record, kMarch7, UtcCalendar));
    const std::string log = ReadFileText(temp.File("DownloadList.csv"));
    EXPECT_NE(log.find(std::string(";\"") + c.logged + "\";\"KST-4\""), std::string::npos)
        << c.path << "\n"
        << log;
  }
}

TEST(DownloadLog, LineBreaksInTextsBecomeBlanksEverythingElseStaysAsItIs) {
  TempFolder temp;
  const DownloadRecord record{"ID\r\n1", "fw\n.bin", "K;\"ind\"", "V\r1", "2021\n"};
  ASSERT_TRUE(AppendDownloadLog(temp.Path(), record, kMarch7, UtcCalendar));
  const std::string log = ReadFileText(temp.File("DownloadList.csv"));
  const std::string record_line = log.substr(log.find('\n') + 1);
  EXPECT_EQ(record_line,
            "2021-03-07 09:05:01;\"ID  1\";\"fw .bin\";\"K;\"ind\"\";\"V 1 from 2021 \";\n");
}

TEST(DownloadLog, FolderThatCannotBeMadeLosesTheRecordQuietly) {
  TempFolder temp;
  testkit::WriteFileText(temp.File("blocker"), "a file, not a folder");
  EXPECT_FALSE(AppendDownloadLog(temp.File("blocker/Infos"), kRecord, kMarch7, UtcCalendar));
}

}  // namespace
}  // namespace kestrune
