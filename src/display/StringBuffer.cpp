#include "display/StringBuffer.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "common/Encoding.h"
#include "common/Error.h"
#include "common/TextUtils.h"

namespace {

bool IsBreak(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

// ---- fonts

int32_t TFontList::Find(const std::string& face, int32_t size, uint8_t style) {
    for (size_t i = 0; i < entries_.size(); ++i) {
        const TEntry& e = entries_[i];
        if (e.Style == style && e.Size == size && e.Face == face) return static_cast<int32_t>(i);
    }
    TEntry entry;
    entry.Face = face.substr(0, 31);
    entry.Style = style;
    entry.Size = size;
    entry.PixelHeight = -static_cast<int32_t>(std::lround(static_cast<double>(size) * target_.Resolution() / 72.0));
    TFontRequest wanted;
    wanted.Face = AnsiSameText(face, "Default") ? std::string("MS Sans Serif") : face;
    wanted.PixelHeight = -entry.PixelHeight;
    wanted.Style = style;
    entry.Handle = target_.CreateFont(wanted);
    entries_.push_back(std::move(entry));
    return static_cast<int32_t>(entries_.size() - 1);
}

const TFontList::TEntry* TFontList::Entry(int32_t index) const {
    return index >= 0 && index < Count() ? &entries_[static_cast<size_t>(index)] : nullptr;
}

// ---- the line buffer

void TStringBuffer::Reset() {
    runs_.clear();
    used_ = 0;
    TextColor = 0;
    VerticalMode = 0;
    LineAlign = 0;
}

int32_t TStringBuffer::PushFont(const std::string& face, int32_t size, uint8_t style) {
    FontIndex = fonts_.Find(face, size, style);
    return fonts_.Entry(FontIndex)->Handle;
}

TPixelSize TStringBuffer::AddRun(const std::string& text, size_t& cursor) {
    const TFontList::TEntry* font = CurrentFont();
    if (!font) RaiseFixedError("No font selected");
    TStringRef run;
    run.Font = font->Handle;
    run.Color = TextColor;
    run.Kind = VerticalMode;
    const uint8_t mode = VerticalMode;
    VerticalMode = 0;
    run.Ascent = target_.Ascent(run.Font);
    const int32_t height = target_.Height(run.Font);
    const size_t length = cursor < text.size() ? std::min(text.size() - cursor, kMaxRunLength) : 0;
    if (length == 0) {
        if (mode == 0) return {};
        run.Height = height;  // a marker that opens or closes a raised or lowered level
        runs_.push_back(std::move(run));
        return {0, height};
    }
    // Nothing is taken when the line is (nearly) full: the caller ends it and comes back.
    auto nothing = [&]() -> TPixelSize {
        VerticalMode = mode;
        return {};
    };
    const int32_t available = LineWidth - used_;
    if (available <= 3 && !runs_.empty()) return nothing();

    // How many characters fit; measuring stops at the first one that does not. The last break
    // among characters 2 .. fit is noted on the way, so no table of extents is needed.
    const TAdvances& advances = target_.Advances(run.Font);
    const char* s = text.data() + cursor;
    int64_t width = 0;
    size_t fit = 0, cut = 0;
    int32_t cutWidth = 0;
    for (; fit < length; ++fit) {
        const int64_t next = width + advances[static_cast<uint8_t>(s[fit])];
        if (next > available) break;
        width = next;
        if (fit >= 1 && IsBreak(s[fit])) {
            cut = fit + 1;
            cutWidth = static_cast<int32_t>(width);
        }
    }
    int32_t runWidth = static_cast<int32_t>(width);
    if (fit < 1) {
        if (!runs_.empty()) return nothing();
        // A line narrower than one character still takes one, or nothing would ever move.
        fit = 1;
        runWidth = advances[static_cast<uint8_t>(s[0])];
    } else if (fit < length) {
        if (s[fit] == ' ') {
            // The spaces after the part that fits go with it, without width.
            while (fit < length && s[fit] == ' ')
                ++fit;
        } else if (cut > 0) {
            // Back to just after the last break among characters 2 .. fit.
            fit = cut;
            runWidth = cutWidth;
        } else if (!runs_.empty()) {
            // A word is cut only on an empty line; here it moves to the next one whole.
            return nothing();
        }
    }
    run.Text.assign(s, fit);
    run.Width = runWidth;
    run.Height = height;
    cursor += fit;
    used_ += runWidth;
    runs_.push_back(std::move(run));
    return {runWidth, height};
}

TPixelSize TStringBuffer::FlushLine(int32_t x, int32_t& y, bool measure) {
    TPixelSize size;
    if (!runs_.empty()) {
        // Baselines: a superscript or subscript opens a level whose runs sit on a baseline of
        // their own; the first run after it closes the level.
        int32_t baseline = 0;
        std::vector<int32_t> outer;
        bool levelStarts = false;  // the next run sets the new level's baseline
        int32_t levelTop = 0;
        const TStringRef* previous = nullptr;
        for (TStringRef& run : runs_) {
            if (run.Kind == 3 || run.Kind == 4) {
                if (!outer.empty()) {
                    baseline = outer.back();
                    outer.pop_back();
                }
                levelStarts = false;
                run.Top = baseline - run.Ascent;
            } else {
                if (levelStarts) {
                    baseline = levelTop + run.Ascent;
                    levelStarts = false;
                }
                if (run.Kind == 1) {
                    const int32_t a = previous ? previous->Ascent : 0;
                    run.Top = baseline - a - run.Ascent / 2;
                    if (previous) run.Top = std::min(run.Top, previous->Top - 3);
                } else if (run.Kind == 2) {
                    run.Top = baseline - run.Ascent / 2;
                } else {
                    run.Top = baseline - run.Ascent;
                }
                if (run.Kind == 1 || run.Kind == 2) {
                    outer.push_back(baseline);
                    levelStarts = true;
                    levelTop = run.Top;
                }
            }
            previous = &run;
        }
        int32_t top = INT32_MAX, bottom = INT32_MIN;
        for (const TStringRef& run : runs_) {
            top = std::min(top, run.Top);
            bottom = std::max(bottom, run.Top + run.Height);
        }
        for (TStringRef& run : runs_)
            run.Top -= top;
        const int32_t lineHeight = bottom - top;

        int32_t d = 0;
        if (LineAlign == 1)
            d = (LineWidth - used_) / 2;
        else if (LineAlign == 2)
            d = LineWidth - used_;
        else if (LineAlign == 3)
            RaiseFixedError(Utf8ToAnsi("Полная выключка пока не реализована!"));
        if (!measure) {
            int32_t at = x + d;
            for (const TStringRef& run : runs_) {
                if (!run.Text.empty()) target_.DrawRun(run.Font, run.Color, at, y + run.Top, run.Text);
                at += run.Width;
            }
        }
        size = {d + used_, lineHeight};
        y += lineHeight;
    }
    runs_.clear();
    used_ = 0;
    return size;
}
