#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRawFont>
#include <list>
#include <vector>

#include "display/DrawTarget.h"

class QPainter;

// The drawing target of the book view: fonts by pixel size at 96 dpi with kerning off, an
// advance table per font over the Windows-1251 characters, and runs drawn as glyphs at the
// positions summed from that table, so a line is exactly as wide as it was measured. Without
// a painter it only measures. Pictures are decoded on first use and kept scaled to the size
// they were drawn at (a few of them).
class TQtDrawTarget final : public IDrawTarget {
public:
    static constexpr int32_t kResolution = 96;

    TQtDrawTarget();
    void SetPainter(QPainter* painter) { painter_ = painter; }
    // The family a face of the book's fonts is drawn with ("Arial" -> "Liberation Sans").
    static QString FamilyOf(const std::string& face);

    int32_t Resolution() const override { return kResolution; }
    int32_t CreateFont(const TFontRequest& wanted) override;
    const TAdvances& Advances(int32_t font) override;
    int32_t Ascent(int32_t font) override;
    int32_t Height(int32_t font) override;
    void DrawRun(int32_t font, uint32_t rgb, int32_t x, int32_t y, std::string_view text) override;
    void DrawPicture(const TSimpleType& picture, int32_t x, int32_t y, int32_t width, int32_t height) override;
    void ResourceSize(TResourcePicture picture, int32_t& width, int32_t& height) override;
    void DrawResource(TResourcePicture picture, int32_t x, int32_t y) override;
    // Scaled pictures kept.
    size_t CachedPictures() const { return pictures_.size(); }

private:
    struct TFont {
        TFontRequest Request;
        QRawFont Raw;
        TAdvances Advances{};
        std::array<quint32, 256> Glyphs{};
        int32_t Ascent = 0, Height = 0;
    };
    struct TScaled {
        const TSimpleType* Node;
        int32_t Width, Height;
        QImage Image;
    };

    std::vector<TFont> fonts_;
    std::list<TScaled> pictures_;  // most recently drawn first
    QPainter* painter_ = nullptr;
    std::array<QChar, 256> unicode_{};
};
