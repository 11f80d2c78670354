#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/DrawTarget.h"

// Size in pixels.
struct TPixelSize {
    int32_t Width = 0;
    int32_t Height = 0;
};

// The fonts of one line buffer: each face, size and style is created once.
class TFontList final {
public:
    struct TEntry {
        std::string Face;  // at most 31 characters
        uint8_t Style = 0;
        int32_t Handle = -1;
        int32_t Size = 0;         // points
        int32_t PixelHeight = 0;  // negative: minus the character height in pixels
    };

    explicit TFontList(IDrawTarget& target) : target_(target) {}
    // The index of the entry, created when missing.
    int32_t Find(const std::string& face, int32_t size, uint8_t style);
    int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
    const TEntry* Entry(int32_t index) const;

private:
    IDrawTarget& target_;
    std::vector<TEntry> entries_;
};

// One run of text in the current line.
struct TStringRef {
    std::string Text;
    int32_t Font = -1;
    uint32_t Color = 0;
    int32_t Width = 0, Height = 0;
    // 0 on the baseline, 1 first run of a superscript, 2 of a subscript, 3 and 4 the first runs
    // after them.
    uint8_t Kind = 0;
    int32_t Ascent = 0;
    int32_t Top = 0;  // relative to the line's top, set when the line ends
};

// Breaks text into runs that fit the rest of a line, puts the runs of a line on a baseline
// (raising superscripts, lowering subscripts), aligns the line and draws or measures it.
class TStringBuffer final {
public:
    // At most this many characters are looked at by one AddRun.
    static constexpr size_t kMaxRunLength = 8192;

    explicit TStringBuffer(IDrawTarget& target) : target_(target), fonts_(target) {}

    IDrawTarget& Target() const { return target_; }
    int32_t LineWidth = 0;
    int32_t FontIndex = -1;
    uint32_t TextColor = 0;
    uint8_t VerticalMode = 0;
    uint8_t LineAlign = 0;  // 0 left, 1 centre, 2 right, 3 full (refused)

    void Reset();
    // Finds or creates the font ("Default" is the system's sans face) and makes it current.
    int32_t PushFont(const std::string& face, int32_t size, uint8_t style);
    const TFontList::TEntry* CurrentFont() const { return fonts_.Entry(FontIndex); }
    // Takes from text (at cursor) what fits the rest of the line as a run and moves the
    // cursor past it. Takes nothing when the line has runs and the next word does not fit
    // (the caller ends the line and tries again); cuts a word only on an empty line, and there
    // always takes at least one character.
    TPixelSize AddRun(const std::string& text, size_t& cursor);
    // Lays the line out at (x, y), draws it unless measuring, moves y down by its height and
    // starts a new line. Raises for full justification.
    TPixelSize FlushLine(int32_t x, int32_t& y, bool measure);
    bool LineEmpty() const { return runs_.empty(); }
    int32_t UsedWidth() const { return used_; }
    const std::vector<TStringRef>& Runs() const { return runs_; }

private:
    IDrawTarget& target_;
    TFontList fonts_;
    std::vector<TStringRef> runs_;
    int32_t used_ = 0;
};
