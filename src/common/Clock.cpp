#include "common/Clock.h"

#include <ctime>

namespace {

std::function<TDateTime()>& Source() {
    static std::function<TDateTime()> source;
    return source;
}

}  // namespace

TDateTime LocalDateTimeFromUnix(int64_t seconds, long nanoseconds) {
    const auto t = static_cast<time_t>(seconds);
    tm local{};
    localtime_r(&t, &local);
    return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                           local.tm_sec < 60 ? local.tm_sec : 59, static_cast<int>(nanoseconds / 1'000'000)});
}

TDateTime Now() {
    if (Source()) return Source()();
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return LocalDateTimeFromUnix(ts.tv_sec, ts.tv_nsec);
}

void SetNowSourceForTesting(std::function<TDateTime()> source) {
    Source() = std::move(source);
}
