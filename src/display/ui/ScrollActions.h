#pragma once

#include <QAbstractSlider>
#include <cstdint>
#include <optional>

// How far a scroll bar's step, page or end action moves a view; nothing for any other action
// (the thumb's moves are the view's own business).
inline std::optional<int32_t> ScrollActionStep(int action, int32_t line, int32_t page, int32_t toStart, int32_t toEnd) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return -line;
        case QAbstractSlider::SliderSingleStepAdd:
            return line;
        case QAbstractSlider::SliderPageStepSub:
            return -page;
        case QAbstractSlider::SliderPageStepAdd:
            return page;
        case QAbstractSlider::SliderToMinimum:
            return toStart;
        case QAbstractSlider::SliderToMaximum:
            return toEnd;
        default:
            return std::nullopt;
    }
}

// Whole wheel notches in a wheel event's delta. Touchpads send fractions of a notch: they are
// kept in remainder until they add up.
inline int TakeWheelNotches(int& remainder, int angleDelta) {
    remainder += angleDelta;
    const int notches = remainder / 120;
    remainder -= notches * 120;
    return notches;
}
