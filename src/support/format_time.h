#pragma once
// Short German-style or ISO-style texts for 32-bit time values (seconds since 1970 UTC), built
// from pieces chosen by flag bits.

#include <cstdint>
#include <ctime>

namespace kestrune {

namespace time_flags {
inline constexpr std::uint32_t kWeekday = 0x00001;
inline constexpr std::uint32_t kTime = 0x00002;
inline constexpr std::uint32_t kDayFirst = 0x00004;
inline constexpr std::uint32_t kMonthName = 0x00008;
inline constexpr std::uint32_t kFourDigitYear = 0x00010;
inline constexpr std::uint32_t kSeconds = 0x00020;
inline constexpr std::uint32_t kYearFirst = 0x00040;
inline constexpr std::uint32_t kUtc = 0x00100;
inline constexpr std::uint32_t kWeekdayComma = 0x00200;
inline constexpr std::uint32_t kSeparatorBeforeTime = 0x00800;
inline constexpr std::uint32_t kNoTimeSeparator = 0x01000;
inline constexpr std::uint32_t kNoSeparatorAfterDate = 0x02000;
inline constexpr std::uint32_t kUnderscoreTimeSeparator = 0x04000;
inline constexpr std::uint32_t kUnderscoreSeparator = 0x08000;
inline constexpr std::uint32_t kSlashes = 0x10000;
// "2014-05-17 13:45:09" in local time: the one combination the program itself uses.
inline constexpr std::uint32_t kIsoLocal = 0x72;
}  // namespace time_flags

// The longest text (weekday with comma, date with month name and century, time with seconds)
// and its terminator fit in this many characters.
inline constexpr int kFormatTimeCapacity = 26;

// Breaks seconds since 1970 into calendar fields; false when the conversion fails.
using CalendarConversion = bool (*)(std::int64_t seconds, std::tm& fields);
bool LocalCalendar(std::int64_t seconds, std::tm& fields);
bool UtcCalendar(std::int64_t seconds, std::tm& fields);

// Writes the terminated text into `buffer` (at least kFormatTimeCapacity characters). The value is
// taken as unsigned, so negative values are the moments from 2038-01-19 03:14:08 UTC to 2106.
void FormatTime(char* buffer, std::int32_t time, std::uint32_t flags);
// The same with the local-time conversion chosen by the caller (tests use a fixed zone).
void FormatTime(char* buffer, std::int32_t time, std::uint32_t flags, CalendarConversion local);

}  // namespace kestrune
