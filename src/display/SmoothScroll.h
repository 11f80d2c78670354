#pragma once

#include <cstdint>

// The distance a view still has to scroll and the easing steps that take it, one per timer
// tick: long distances go in big steps, the last pixels slowly, and a scroll starts slowly
// (each step at most the next power of two above the last one, until AccelerationLimit).
struct TSmoothScroll {
    int32_t PendingX = 0, PendingY = 0;
    int32_t LastX = 0, LastY = 0;
    int32_t AccelerationLimit = 64;

    bool Pending() const { return PendingX != 0 || PendingY != 0; }
    void Clear() { PendingX = PendingY = LastX = LastY = 0; }
    // The distances to scroll now, taken from the pending ones. unitX and unitY are a line in
    // each direction (pixels), clientHeight the height of the view.
    void Step(int32_t unitX, int32_t unitY, int32_t clientHeight, int32_t& dx, int32_t& dy);
};
