#pragma once

#include <cstdint>
#include <memory>

#include "display/DrawTarget.h"
#include "display/StringBuffer.h"

class TFictionBook;
class TSimpleType;

struct TLayoutRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

struct TLayoutPoint {
    int32_t X = 0, Y = 0;
};

// Lays an FB2 book out for a view: Measure stores every node's Width, Height and Extra for the
// view's width; Paint draws the nodes that reach into a strip, skipping the blocks above it.
// Measuring and painting share one code path, so stored heights are what painting uses.
class TBookLayout final {
public:
    int32_t ViewWidth = 0, ViewHeight = 0;
    bool FitImages = true;
    // Pictures are placed as blocks this wide at most (0: the view's width).

    // With a view of width 0 nothing is measured and the book has no extent.
    void Measure(TFictionBook& book, IDrawTarget& target, int32_t viewWidth, int32_t viewHeight);
    // Draws into target the part of the book in clip, the book's top-left corner at origin.
    void Paint(TFictionBook& book, IDrawTarget& target, const TLayoutRect& clip, TLayoutPoint origin);
    // The line buffer (fonts included) goes; the next pass makes a new one.
    void Reset();
    // The size a picture node is shown at for the current view (the fitting rule).
    void FitPicture(int32_t& width, int32_t& height) const;

private:
    struct TPass {
        TLayoutRect Clip;
        bool Measure = true;
        TLayoutPoint Origin;
    };

    void Layout(TSimpleType& node, const TPass& pass, TPixelSize& size, TLayoutPoint& pen);
    void Children(TSimpleType& node, const TPass& pass, TPixelSize& size, int32_t& extra, TLayoutPoint& pen);
    void TextValue(const std::string& text, const TPass& pass, TPixelSize& size, int32_t& extra, TLayoutPoint& pen);
    void Inline(TSimpleType& node, const TPass& pass, TPixelSize& size, int32_t& extra, TLayoutPoint& pen);
    // Ends the pending line: its size joins size, the next line starts at the left.
    void EndLine(const TPass& pass, TPixelSize& size, TLayoutPoint& pen);
    void Picture(TSimpleType& node, const TPass& pass, TPixelSize& size, TLayoutPoint& pen);
    TStringBuffer& Buffer(IDrawTarget& target);

    std::unique_ptr<TStringBuffer> buffer_;
    IDrawTarget* target_ = nullptr;
};

// A node ends its line (a block): everything but text runs and inline markup.
bool EndsLine(const TSimpleType& node);
