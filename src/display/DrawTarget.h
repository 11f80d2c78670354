#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class TSimpleType;

// A font as the layout asks for it: face, height in pixels, style bits (1 bold, 2 italic,
// 4 underline, 8 strikethrough).
struct TFontRequest {
    std::string Face;
    int32_t PixelHeight = 16;
    uint8_t Style = 0;
    bool operator==(const TFontRequest&) const = default;
};

// The advance of every Windows-1251 character in one font, in pixels.
using TAdvances = std::array<int32_t, 256>;

// Resource pictures drawn where a book's picture is missing.
enum class TResourcePicture { Empty, Unknown };

// What the line buffer and the layout need from a screen or an off-screen picture. Text is
// measured from one advance table per font and drawn at the positions summed from it, so what
// was measured is what is drawn.
class IDrawTarget {
public:
    virtual ~IDrawTarget() = default;
    // Dots per inch, for turning point sizes into pixels.
    virtual int32_t Resolution() const = 0;
    // A handle (0 or more) for the font; the target keeps it until it goes.
    virtual int32_t CreateFont(const TFontRequest& wanted) = 0;
    virtual const TAdvances& Advances(int32_t font) = 0;
    virtual int32_t Ascent(int32_t font) = 0;
    // Ascent plus descent.
    virtual int32_t Height(int32_t font) = 0;
    // Draws text (Windows-1251) with its top-left at (x, y), leaving the background.
    virtual void DrawRun(int32_t font, uint32_t rgb, int32_t x, int32_t y, std::string_view text) = 0;
    // Draws a binary's picture into the rectangle (stretched to it).
    virtual void DrawPicture(const TSimpleType& picture, int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    virtual void ResourceSize(TResourcePicture picture, int32_t& width, int32_t& height) = 0;
    virtual void DrawResource(TResourcePicture picture, int32_t x, int32_t y) = 0;
    // A line came out wider than the page.
    virtual void Beep() {}
};
