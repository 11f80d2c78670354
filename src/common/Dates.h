#pragma once

#include <cstdint>

// A date-time: days since 1899-12-30 with the time of day as the fraction (0 = no date).
using TDateTime = double;

struct TDateParts {
    int Year = 0, Month = 0, Day = 0;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second, int millisecond);

// Build a date-time from its parts; invalid parts raise EConvertError.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeDateTime(const TDateParts& parts);

// Split a non-negative date-time into its parts (milliseconds rounded).
TDateParts DecodeDateTime(TDateTime value);

// Packed DOS form: high word = day | month << 5 | (year - 1980) << 9, low word =
// second / 2 | minute << 5 | hour << 11. Years outside 1980..2099 (and the empty date) give 0.
uint32_t DateTimeToDos(TDateTime value);

// The reverse; 0 gives 1979-12-31 00:00 (day 29220). Fields that form no valid date-time
// raise EConvertError.
TDateTime DosToDateTime(uint32_t dos);

// Seconds since 1970-01-01 00:00 (no time zone applied) and back.
TDateTime UnixToDateTime(int64_t seconds);
int64_t DateTimeToUnix(TDateTime value);
