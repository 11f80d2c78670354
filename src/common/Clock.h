#pragma once

#include <functional>

#include "common/Dates.h"

// The current local date-time. Tests may replace the source of time.
TDateTime Now();
void SetNowSourceForTesting(std::function<TDateTime()> source);
