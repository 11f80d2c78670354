#include "display/SmoothScroll.h"

#include <algorithm>
#include <cstdlib>

namespace {

int32_t Sign(int32_t v) {
    return v < 0 ? -1 : 1;
}

int32_t Accelerate(int32_t step, int32_t& last, int32_t cap) {
    if (last < cap) {
        int32_t limit = 1;
        while (limit <= last && limit < cap)
            limit *= 2;
        if (std::abs(step) > limit) step = limit * Sign(step);
    }
    last = std::abs(step);
    return step;
}

}  // namespace

void TSmoothScroll::Step(int32_t unitX, int32_t unitY, int32_t clientHeight, int32_t& dx, int32_t& dy) {
    dx = dy = 0;
    if (!Pending()) {
        LastX = LastY = 0;
        return;
    }
    if (const int32_t p = PendingX; p != 0) {
        const int32_t u = std::max(unitX, 1);
        const int32_t a = std::abs(p);
        dx = a >= 8 * u ? 2 * a / 3 : a < 2 * u ? std::max(u / 3, 1) : 3 * (u + 1) / 2;
        dx = std::min(dx, a) * Sign(p);
        dx = Accelerate(dx, LastX, AccelerationLimit);
    }
    if (const int32_t p = PendingY; p != 0) {
        const int32_t u = std::max(unitY, 1);
        const int32_t a = std::abs(p);
        if (a > 2 * clientHeight)
            dy = (a - clientHeight) * Sign(p);  // one screen of distance remains
        else if (a >= 8 * u)
            dy = 3 * p / 4;
        else if (a >= 4 * u)
            dy = p / 2;
        else if (a >= 2 * u)
            dy = p / 3;
        else
            dy = p / 4;
        if (dy == 0) dy = Sign(p);
        if (std::abs(dy) > a) dy = p;
        dy = Accelerate(dy, LastY, AccelerationLimit);
    }
    PendingX -= dx;
    PendingY -= dy;
}
