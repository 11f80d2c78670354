#pragma once

#include <cstdint>
#include <functional>

#include "common/Dates.h"

// The current local date-time. Tests may replace the source of time.
TDateTime Now();
void SetNowSourceForTesting(std::function<TDateTime()> source);

// Local date-time of a moment given in seconds (and nanoseconds) since 1970-01-01 UTC, as
// file times are shown.
TDateTime LocalDateTimeFromUnix(int64_t seconds, long nanoseconds = 0);
