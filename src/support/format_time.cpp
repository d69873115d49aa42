#include "support/format_time.h"

namespace kestrune {
namespace {

constexpr const char* kWeekdayNames[7] = {"So ", "Mo ", "Di ", "Mi ", "Do ", "Fr ", "Sa "};
constexpr const char* kMonthNames[12] = {"Jan.", "Feb.", "Mär.", "Apr.", "Mai.", "Jun.",
                                         "Jul.", "Aug.", "Sep.", "Okt.", "Nov.", "Dez."};

char* PutTwoDigits(char* out, int value) {
  // Fields are already in range; the modulo keeps a broken conversion from writing more.
  const int v = ((value % 100) + 100) % 100;
  *out++ = static_cast<char>('0' + v / 10);
  *out++ = static_cast<char>('0' + v % 10);
  return out;
}

}  // namespace

bool LocalCalendar(std::int64_t seconds, std::tm& fields) {
  const auto t = static_cast<std::time_t>(seconds);
#ifdef _WIN32
  return localtime_s(&fields, &t) == 0;
#else
  return localtime_r(&t, &fields) != nullptr;
#endif
}

bool UtcCalendar(std::int64_t seconds, std::tm& fields) {
  const auto t = static_cast<std::time_t>(seconds);
#ifdef _WIN32
  return gmtime_s(&fields, &t) == 0;
#else
  return gmtime_r(&t, &fields) != nullptr;
#endif
}

void FormatTime(char* buffer, std::int32_t time, std::uint32_t flags) {
  FormatTime(buffer, time, flags, LocalCalendar);
}

void FormatTime(char* buffer, std::int32_t time, std::uint32_t flags, CalendarConversion local) {
  using namespace time_flags;
  // Taken as unsigned, the value reaches 2106; converted with 64-bit time, every moment keeps its
  // real date and weekday (shifting it back by whole years would not).
  const std::int64_t seconds = static_cast<std::uint32_t>(time);
  std::tm fields{};
  const CalendarConversion convert = (flags & kUtc) ? UtcCalendar : local;
  if (!convert(seconds, fields)) {
    fields = std::tm{};
  }
  const int year = fields.tm_year + 1900;
  const char separator = (flags & kUnderscoreSeparator) ? '_' : ' ';
  const bool slashes = (flags & kSlashes) != 0;
  const int century = year / 100;
  const int month = fields.tm_mon >= 0 && fields.tm_mon < 12 ? fields.tm_mon : 0;
  char* out = buffer;

  if (flags & kWeekday) {
    const char* name =
        kWeekdayNames[fields.tm_wday >= 0 && fields.tm_wday < 7 ? fields.tm_wday : 0];
    *out++ = name[0];
    *out++ = name[1];
    if (flags & kWeekdayComma) {
      *out++ = slashes ? '/' : ',';
      *out++ = separator;
    } else {
      *out++ = name[2];
    }
  }
  if (flags & (kDayFirst | kYearFirst)) {
    const bool dayFirst = (flags & kDayFirst) != 0;
    const char dateSeparator = slashes ? '/' : (dayFirst ? '.' : '-');
    if (dayFirst) {
      out = PutTwoDigits(out, fields.tm_mday);
      *out++ = dateSeparator;
    } else {
      if (flags & kFourDigitYear) {
        out = PutTwoDigits(out, century);
      }
      out = PutTwoDigits(out, year);
      *out++ = dateSeparator;
    }
    if (flags & kMonthName) {
      // The name's full stop stands for the separator after a day; before a day it is replaced.
      for (const char* c = kMonthNames[month]; *c != '\0'; ++c) {
        *out++ = (c[1] == '\0' && !dayFirst) ? dateSeparator : *c;
      }
    } else {
      out = PutTwoDigits(out, month + 1);
      *out++ = dateSeparator;
    }
    if (dayFirst) {
      if (flags & kFourDigitYear) {
        out = PutTwoDigits(out, century);
      }
      out = PutTwoDigits(out, year);
    } else {
      out = PutTwoDigits(out, fields.tm_mday);
    }
    if (!(flags & kNoSeparatorAfterDate)) {
      *out++ = separator;
    }
  }
  if (flags & kTime) {
    const char timeSeparator = (flags & kUnderscoreTimeSeparator) ? '_' : ':';
    const bool withSeparator = !(flags & kNoTimeSeparator);
    if (flags & kSeparatorBeforeTime) {
      *out++ = separator;
    }
    out = PutTwoDigits(out, fields.tm_hour);
    if (withSeparator) {
      *out++ = timeSeparator;
    }
    out = PutTwoDigits(out, fields.tm_min);
    if (flags & kSeconds) {
      if (withSeparator) {
        *out++ = timeSeparator;
      }
      out = PutTwoDigits(out, fields.tm_sec);
    }
  }
  *out = '\0';
}

}  // namespace kestrune
