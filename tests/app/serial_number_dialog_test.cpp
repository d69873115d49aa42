#include "app/serial_number_dialog.h"

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "serials/mac_range.h"
#include "testkit/recording_window.h"

namespace kestrune {
namespace {

std::uint32_t FixedNow() {
  return 1400334309;
}  // 2014-05-17 13:45:09 UTC

constexpr SchemeColours kBlackOnWhite = {{0, 0, 0}, {255, 255, 255}};
constexpr SchemeColours kPink = {{105, 0, 0}, {230, 190, 190}};
constexpr SchemeColours kGreen = {{0, 105, 0}, {190, 230, 190}};

class SerialDialog : public testing::Test {
 protected:
  void SetUp() override {
    m_ranges.Configure(sizeof(MacRange), -1);
    const MacRange range{0x0011223344FE, 100, 500000, 1};
    m_ranges.Insert(&range, 0x7FFFFFFF, 1);
    m_record.fill(0xFF);
    m_dialog.m_serial = 500000;
    m_dialog.m_record = &m_record;
    m_dialog.m_ranges = &m_ranges;
    m_dialog.m_now = FixedNow;
    m_dialog.m_calendar = UtcCalendar;
  }
  void ExpectColours(const SchemeColours& serial, const SchemeColours& others) {
    ExpectColoursOf(kIdSerialNumber, serial);
    for (int id : {kIdAssignmentDate, kIdMacA, kIdMacB}) ExpectColoursOf(id, others);
    EXPECT_FALSE(m_dialog.ControlColours(kIdOk).has_value());
  }
  void ExpectColoursOf(int id, const SchemeColours& expected) {
    const std::optional<SchemeColours> colours = m_dialog.ControlColours(id);
    ASSERT_TRUE(colours.has_value()) << id;
    EXPECT_EQ(colours->text, expected.text) << id;
    EXPECT_EQ(colours->background, expected.background) << id;
  }

  RecordArray m_ranges;
  OtpBlock m_record;
  SerialNumberDialog m_dialog;
  testkit::RecordingWindow m_window;
};

TEST_F(SerialDialog, OpensWithTheProposedNumber) {
  m_dialog.OnInitDialog();
  m_dialog.ShowIn(m_window, true, false);
  EXPECT_EQ(m_window.Text(kIdSerialNumber), "500000");
  EXPECT_EQ(m_window.Text(kIdAssignmentDate), "2014-05-17 13:45:09");
  EXPECT_EQ(m_window.Text(kIdMacA), "00-11-22-33-44-FE");
  EXPECT_EQ(m_window.Text(kIdMacB), "00-11-22-33-44-FF");
  EXPECT_EQ(m_dialog.m_inRange, 1);
  EXPECT_TRUE(m_dialog.m_recordFilled);
  EXPECT_EQ(m_record[6], 0x7A);
  ExpectColours(kBlackOnWhite, kGreen);
}

TEST_F(SerialDialog, EveryKeystrokeRecomputesAndRepaintsOnlyWhenTheRangeStateFlips) {
  m_dialog.OnInitDialog();
  struct Step {
    const char* typed;
    bool repaint;
    int inRange;
    const char* macA;
    const char* macB;
  };
  const Step steps[] = {
      {"5", true, 0, "00-11-22-24-02-C8", "00-11-22-24-02-C9"},  // below: from the first range
      {"50", false, 0, "00-11-22-24-03-22", "00-11-22-24-03-23"},
      {"500001", true, 1, "00-11-22-33-45-00", "00-11-22-33-45-01"},  // carries into the fifth byte
      {"500099", false, 1, "00-11-22-33-45-C4", "00-11-22-33-45-C5"},
      {"17277216", false, 1, "00-11-22-33-44-FE", "00-11-22-33-44-FF"},  // 500000 + 2^24
      {"", true, 0, "00-11-22-24-02-BE", "00-11-22-24-02-BF"},           // no digits: 0
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.typed);
    m_window.ClearRecord();
    const bool repaint = m_dialog.OnSerialChanged(step.typed);
    m_dialog.ShowIn(m_window, false, repaint);
    EXPECT_EQ(repaint, step.repaint);
    EXPECT_EQ(m_dialog.m_inRange, step.inRange);
    EXPECT_EQ(m_window.Text(kIdMacA), step.macA);
    EXPECT_EQ(m_window.Text(kIdMacB), step.macB);
    EXPECT_EQ(m_window.TextHistory(kIdSerialNumber).size(), 0u);  // the field keeps the typing
    EXPECT_EQ(m_window.Repaints(kIdSerialNumber), step.repaint ? 1 : 0);
    EXPECT_EQ(m_window.Repaints(kIdMacB), step.repaint ? 1 : 0);
    if (step.inRange == 1) {
      ExpectColours(kBlackOnWhite, kGreen);
    } else {
      ExpectColours(kPink, kPink);
    }
  }
  EXPECT_EQ(m_record[12] | m_record[13] << 8 | m_record[14] << 16, 0);
}

TEST_F(SerialDialog, WithoutRangesLeavesRecordAndFieldsAlone) {
  RecordArray none;
  m_dialog.m_ranges = &none;
  m_dialog.OnInitDialog();
  EXPECT_FALSE(m_dialog.OnSerialChanged("500000"));
  EXPECT_EQ(m_dialog.m_inRange, -1);
  EXPECT_FALSE(m_dialog.m_recordFilled);
  EXPECT_TRUE(m_dialog.m_macAText.empty());
  OtpBlock empty;
  empty.fill(0xFF);
  EXPECT_EQ(m_record, empty);
}

}  // namespace
}  // namespace kestrune
