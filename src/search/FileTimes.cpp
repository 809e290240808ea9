#include "search/FileTimes.h"

#include "base/Errors.h"

#include <cmath>
#include <ctime>

namespace pictavo {

int64_t ToFileTime(const struct statx_timestamp& t) {
    return kUnixEpochInFileTime + static_cast<int64_t>(t.tv_sec) * 10000000 + t.tv_nsec / 100;
}

uint32_t DosDateTime(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (!localtime_r(&t, &local)) return 0;
    int year = local.tm_year + 1900;
    if (year < 1980) return (1u << 21) | (1u << 16);  // 1980-01-01, the earliest it can hold
    if (year > 2107) year = 2107;
    return (static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(local.tm_mon + 1) << 21) |
           (static_cast<uint32_t>(local.tm_mday) << 16) | (static_cast<uint32_t>(local.tm_hour) << 11) |
           (static_cast<uint32_t>(local.tm_min) << 5) | static_cast<uint32_t>(local.tm_sec / 2);
}

TDosDateTime DecodeDosDateTime(uint32_t Time) {
    TDosDateTime t;
    t.Year = 1980 + static_cast<int>(Time >> 25);
    t.Month = static_cast<int>((Time >> 21) & 0xF);
    t.Day = static_cast<int>((Time >> 16) & 0x1F);
    t.Hour = static_cast<int>((Time >> 11) & 0x1F);
    t.Minute = static_cast<int>((Time >> 5) & 0x3F);
    t.Second = static_cast<int>(Time & 0x1F) * 2;
    return t;
}

std::string DosTimeText(uint32_t Time, char Separator) {
    const TDosDateTime t = DecodeDosDateTime(Time);
    return Format("%04d-%02d-%02d%c%02d:%02d:%02d", t.Year, t.Month, t.Day, Separator, t.Hour, t.Minute, t.Second);
}

bool IsDateBetween(TDateTime Value, TDateTime Before, TDateTime After) {
    auto whole = [](TDateTime v) { return std::trunc(v); };
    auto timeOf = [&](TDateTime v) { return v - whole(v); };
    auto isDateOnly = [&](TDateTime v) { return timeOf(v) == 0; };
    auto isTimeOnly = [&](TDateTime v) { return whole(v) == 0 && timeOf(v) != 0; };
    bool result = true;
    if (Before != 0) {
        if (isDateOnly(Before))
            result = whole(Value) <= Before;
        else if (isTimeOnly(Before))
            result = timeOf(Value) <= Before;
        else
            result = Value <= Before;
    }
    if (After != 0) {
        if (isDateOnly(After))
            result = result && whole(Value) >= After;
        else if (isTimeOnly(After))
            result = result && timeOf(Value) >= After;
        else
            result = result && Value >= After;
    }
    return result;
}

namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

const int64_t kDateTimeEpoch = DaysFromCivil(1899, 12, 30);

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    const double days = static_cast<double>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDateTimeEpoch);
    return days + (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / 86400000.0;
}

TDateTime FileTimeToLocalDateTime(int64_t FileTime) {
    const int64_t sinceUnix = FileTime - kUnixEpochInFileTime;
    int64_t seconds = sinceUnix / 10000000;
    int64_t rest = sinceUnix % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (!localtime_r(&t, &local)) return 0;
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec, static_cast<int>(rest / 10000));
}

}  // namespace pictavo
