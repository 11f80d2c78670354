#include "common/Dates.h"

#include <cmath>

#include "common/Error.h"

namespace {

constexpr int64_t kMsPerDay = 86'400'000;
// Day number of 1899-12-30 counted from 1970-01-01.
constexpr int64_t kEpochOffsetDays = -25569;

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

[[noreturn]] void RaiseInvalidDate() {
    throw EConvertError("Invalid argument to date encode");
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 && millisecond >= 0 &&
           millisecond < 1000;
}

TDateTime EncodeDate(int year, int month, int day) {
    if (!IsValidDate(year, month, day)) RaiseInvalidDate();
    return static_cast<TDateTime>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                                  kEpochOffsetDays);
}

TDateTime EncodeDateTime(const TDateParts& p) {
    if (!IsValidTime(p.Hour, p.Minute, p.Second, p.Millisecond)) RaiseInvalidDate();
    const double time = ((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + p.Millisecond;
    return EncodeDate(p.Year, p.Month, p.Day) + time / kMsPerDay;
}

TDateParts DecodeDateTime(TDateTime value) {
    // Round to whole milliseconds first so that 13:45:30 stored as x.5733... stays 13:45:30.
    const auto totalMs = static_cast<int64_t>(std::llround(value * kMsPerDay));
    int64_t days = totalMs / kMsPerDay;
    int64_t ms = totalMs % kMsPerDay;
    if (ms < 0) ms += kMsPerDay, --days;
    TDateParts p;
    CivilFromDays(days + kEpochOffsetDays, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(ms / 3'600'000);
    p.Minute = static_cast<int>(ms / 60'000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.Millisecond = static_cast<int>(ms % 1000);
    return p;
}

uint32_t DateTimeToDos(TDateTime value) {
    if (!std::isfinite(value) || value < 1.0) return 0;
    const TDateParts p = DecodeDateTime(value);
    if (p.Year < 1980 || p.Year > 2099) return 0;
    const uint32_t date = static_cast<uint32_t>(p.Day | (p.Month << 5) | ((p.Year - 1980) << 9));
    const uint32_t time = static_cast<uint32_t>((p.Second / 2) | (p.Minute << 5) | (p.Hour << 11));
    return date << 16 | time;
}

TDateTime DosToDateTime(uint32_t dos) {
    if (dos == 0) return EncodeDate(1979, 12, 31);
    const uint32_t date = dos >> 16, time = dos & 0xFFFF;
    TDateParts p;
    p.Day = static_cast<int>(date & 0x1F);
    p.Month = static_cast<int>((date >> 5) & 0x0F);
    p.Year = static_cast<int>(date >> 9) + 1980;
    p.Second = static_cast<int>(time & 0x1F) * 2;
    p.Minute = static_cast<int>((time >> 5) & 0x3F);
    p.Hour = static_cast<int>(time >> 11);
    if (!IsValidDate(p.Year, p.Month, p.Day)) RaiseInvalidDate();
    return EncodeDateTime(p);
}

TDateTime UnixToDateTime(int64_t seconds) {
    return static_cast<TDateTime>(seconds) / 86400.0 - static_cast<TDateTime>(kEpochOffsetDays);
}

int64_t DateTimeToUnix(TDateTime value) {
    return std::llround((value + static_cast<TDateTime>(kEpochOffsetDays)) * 86400.0);
}
