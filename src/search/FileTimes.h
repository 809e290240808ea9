// Time stamps of found files: file times (UTC, 100 ns since 1601-01-01), the packed MS-DOS
// local time of a found entry, and date-times (days since 1899-12-30) with their bounds.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace pictavo {

// Days since 1899-12-30; the fraction is the time of day. 0 = no bound.
using TDateTime = double;

// 1970-01-01 as a file time.
inline constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;

// A time stamp of the file system as a file time.
int64_t ToFileTime(const struct statx_timestamp& t);
// Seconds since 1970 as local time packed as an MS-DOS date (high word) and time, clamped to
// the years it can hold.
uint32_t DosDateTime(int64_t seconds);
// The fields of a packed MS-DOS date and time (seconds at 2-second resolution).
struct TDosDateTime {
    int Year = 1980, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
TDosDateTime DecodeDosDateTime(uint32_t Time);
// "YYYY-MM-DD HH:MM:SS" from a packed MS-DOS date and time; the separator stands between the
// date and the time ("T" for ISO 8601).
std::string DosTimeText(uint32_t Time, char Separator = ' ');
// The date-only / time-only / full bounds of a time-stamp pair.
bool IsDateBetween(TDateTime Value, TDateTime Before, TDateTime After);
// A file time (UTC, 100 ns since 1601) as a local date-time with millisecond resolution.
TDateTime FileTimeToLocalDateTime(int64_t FileTime);
// A calendar date and time as a TDateTime.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0);

}  // namespace pictavo
