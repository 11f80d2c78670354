#pragma once

#include <string>
#include <vector>

#include "display/DrawTarget.h"

// A drawing target with fixed metrics: every character is CharWidth pixels wide, a font's
// ascent is four fifths of its pixel height and its height the pixel height. It records what
// is drawn.
class TFakeTarget final : public IDrawTarget {
public:
    struct TRun {
        TFontRequest Font;
        uint32_t Color;
        int32_t X, Y;
        std::string Text;
    };
    struct TPicture {
        const TSimpleType* Node;
        int32_t X, Y, Width, Height;
    };

    int32_t CharWidth = 10;
    std::vector<TFontRequest> Fonts;
    std::vector<TRun> Runs;
    std::vector<TPicture> Pictures;
    int Beeps = 0;

    int32_t Resolution() const override { return 96; }
    int32_t CreateFont(const TFontRequest& wanted) override {
        Fonts.push_back(wanted);
        advances_.emplace_back();
        advances_.back().fill(CharWidth);
        return static_cast<int32_t>(Fonts.size() - 1);
    }
    const TAdvances& Advances(int32_t font) override { return advances_.at(static_cast<size_t>(font)); }
    int32_t Ascent(int32_t font) override { return Fonts.at(static_cast<size_t>(font)).PixelHeight * 4 / 5; }
    int32_t Height(int32_t font) override { return Fonts.at(static_cast<size_t>(font)).PixelHeight; }
    void DrawRun(int32_t font, uint32_t rgb, int32_t x, int32_t y, std::string_view text) override {
        Runs.push_back({Fonts.at(static_cast<size_t>(font)), rgb, x, y, std::string(text)});
    }
    void DrawPicture(const TSimpleType& node, int32_t x, int32_t y, int32_t width, int32_t height) override {
        Pictures.push_back({&node, x, y, width, height});
    }
    void ResourceSize(TResourcePicture, int32_t& width, int32_t& height) override {
        width = 32;
        height = 32;
    }
    void DrawResource(TResourcePicture, int32_t x, int32_t y) override { Pictures.push_back({nullptr, x, y, 32, 32}); }
    void Beep() override { ++Beeps; }

    // The drawn run whose text starts with prefix, or null.
    const TRun* Find(const std::string& prefix) const {
        for (const TRun& run : Runs)
            if (run.Text.rfind(prefix, 0) == 0) return &run;
        return nullptr;
    }

private:
    std::vector<TAdvances> advances_;
};
