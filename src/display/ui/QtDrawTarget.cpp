#include "display/ui/QtDrawTarget.h"

#include <QGlyphRun>
#include <QPainter>
#include <cmath>

#include "common/Encoding.h"
#include "common/TextUtils.h"
#include "fb2/FBParser.h"
#include "fb2/Picture.h"

namespace {

// Pictures kept at their drawn size: a screen rarely shows more.
constexpr size_t kPictureCache = 12;
constexpr int32_t kResourceSide = 32;

}  // namespace

TQtDrawTarget::TQtDrawTarget() {
    for (int c = 0; c < 256; ++c) {
        const QString one = QString::fromStdString(AnsiToUtf8(std::string(1, static_cast<char>(c))));
        unicode_[static_cast<size_t>(c)] = one.isEmpty() ? QChar(' ') : one.front();
    }
}

QString TQtDrawTarget::FamilyOf(const std::string& face) {
    // Metric-compatible free faces for the ones books and the layout name.
    if (AnsiSameText(face, "Arial") || AnsiSameText(face, "MS Sans Serif") || AnsiSameText(face, "Helvetica"))
        return "Liberation Sans";
    if (AnsiSameText(face, "Times New Roman") || AnsiSameText(face, "Times")) return "Liberation Serif";
    if (AnsiSameText(face, "Courier New") || AnsiSameText(face, "Courier")) return "Liberation Mono";
    return QString::fromStdString(AnsiToUtf8(face));
}

int32_t TQtDrawTarget::CreateFont(const TFontRequest& wanted) {
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i].Request == wanted) return static_cast<int32_t>(i);
    QFont font;
    font.setFamilies({FamilyOf(wanted.Face), "Liberation Sans", "DejaVu Sans"});
    font.setPixelSize(std::max(wanted.PixelHeight, 1));
    font.setBold(wanted.Style & 1);
    font.setItalic(wanted.Style & 2);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    TFont entry;
    entry.Request = wanted;
    entry.Raw = QRawFont::fromFont(font);
    if (!entry.Raw.isValid()) {
        QFont fallback("DejaVu Sans");
        fallback.setPixelSize(font.pixelSize());
        entry.Raw = QRawFont::fromFont(fallback);
    }
    entry.Ascent = static_cast<int32_t>(std::lround(entry.Raw.ascent()));
    entry.Height = entry.Ascent + static_cast<int32_t>(std::lround(entry.Raw.descent()));
    if (entry.Height <= 0) entry.Height = std::max(wanted.PixelHeight, 1);
    const QString all(unicode_.data(), 256);
    const QList<quint32> glyphs = entry.Raw.glyphIndexesForString(all);
    const QList<QPointF> advances = glyphs.size() == 256 ? entry.Raw.advancesForGlyphIndexes(glyphs) : QList<QPointF>{};
    for (int c = 0; c < 256; ++c) {
        // Control characters take no room; the rest their rounded advance.
        const bool control = c < 32;
        entry.Glyphs[static_cast<size_t>(c)] = glyphs.size() == 256 ? glyphs[c] : 0;
        entry.Advances[static_cast<size_t>(c)] =
            control || advances.size() != 256 ? 0 : static_cast<int32_t>(std::lround(advances[c].x()));
    }
    if (advances.size() != 256) entry.Advances.fill(std::max(wanted.PixelHeight / 2, 1));
    entry.Advances['\t'] = entry.Advances[' '];
    fonts_.push_back(std::move(entry));
    return static_cast<int32_t>(fonts_.size() - 1);
}

const TAdvances& TQtDrawTarget::Advances(int32_t font) {
    return fonts_.at(static_cast<size_t>(font)).Advances;
}

int32_t TQtDrawTarget::Ascent(int32_t font) {
    return fonts_.at(static_cast<size_t>(font)).Ascent;
}

int32_t TQtDrawTarget::Height(int32_t font) {
    return fonts_.at(static_cast<size_t>(font)).Height;
}

void TQtDrawTarget::DrawRun(int32_t font, uint32_t rgb, int32_t x, int32_t y, std::string_view text) {
    if (!painter_ || font < 0 || static_cast<size_t>(font) >= fonts_.size()) return;
    const TFont& f = fonts_[static_cast<size_t>(font)];
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(static_cast<qsizetype>(text.size()));
    positions.reserve(static_cast<qsizetype>(text.size()));
    int32_t at = x;
    const qreal baseline = y + f.Ascent;
    for (char ch : text) {
        const auto c = static_cast<uint8_t>(ch);
        if (c > ' ') {
            glyphs.push_back(f.Glyphs[c]);
            positions.push_back(QPointF(at, baseline));
        }
        at += f.Advances[c];
    }
    const QColor color(static_cast<int>(rgb >> 16 & 0xFF), static_cast<int>(rgb >> 8 & 0xFF),
                       static_cast<int>(rgb & 0xFF));
    painter_->setPen(color);
    if (!glyphs.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(f.Raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        painter_->drawGlyphRun(QPointF(0, 0), run);
    }
    // Lines under and through the run span exactly its measured width.
    if (f.Request.Style & 12) {
        const qreal thickness = std::max<qreal>(f.Raw.lineThickness(), 1);
        if (f.Request.Style & 4)
            painter_->fillRect(QRectF(x, baseline + std::max<qreal>(f.Raw.underlinePosition(), 1), at - x, thickness),
                               color);
        if (f.Request.Style & 8)
            painter_->fillRect(QRectF(x, baseline - f.Raw.xHeight() / 2, at - x, thickness), color);
    }
}

void TQtDrawTarget::DrawPicture(const TSimpleType& node, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!painter_ || width < 1 || height < 1) return;
    // Off the painted area: nothing to decode.
    if (!painter_->window().intersects(QRect(x, y, width, height))) return;
    auto it = pictures_.begin();
    for (; it != pictures_.end(); ++it)
        if (it->Node == &node && it->Width == width && it->Height == height) break;
    if (it == pictures_.end()) {
        QImage scaled;
        if (const TBitmap* bitmap = node.DecodedPicture()) {
            // B, G, R, A bytes are Qt's 32-bit ARGB on a little-endian machine.
            const QImage image(bitmap->Pixels.data(), bitmap->Width, bitmap->Height, bitmap->Width * 4,
                               QImage::Format_ARGB32);
            scaled = image.width() == width && image.height() == height
                         ? image.copy()
                         : image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        pictures_.push_front({&node, width, height, scaled});
        if (pictures_.size() > kPictureCache) pictures_.pop_back();
        it = pictures_.begin();
    } else if (it != pictures_.begin()) {
        pictures_.splice(pictures_.begin(), pictures_, it);
        it = pictures_.begin();
    }
    if (it->Image.isNull())
        DrawResource(TResourcePicture::Empty, x + (width - kResourceSide) / 2, y);
    else
        painter_->drawImage(QPoint(x, y), it->Image);
}

void TQtDrawTarget::ResourceSize(TResourcePicture, int32_t& width, int32_t& height) {
    width = height = kResourceSide;
}

void TQtDrawTarget::DrawResource(TResourcePicture picture, int32_t x, int32_t y) {
    if (!painter_) return;
    // A framed box: crossed for a picture that cannot be shown, a question mark for a link to
    // no picture at all.
    const QRect box(x + 2, y + 2, kResourceSide - 4, kResourceSide - 4);
    painter_->save();
    painter_->setPen(QPen(QColor(128, 128, 128), 1));
    painter_->setBrush(QColor(240, 240, 240));
    painter_->drawRect(box);
    if (picture == TResourcePicture::Empty) {
        painter_->setPen(QPen(QColor(192, 0, 0), 2));
        painter_->drawLine(box.topLeft() + QPoint(6, 6), box.bottomRight() - QPoint(6, 6));
        painter_->drawLine(box.topRight() + QPoint(-6, 6), box.bottomLeft() + QPoint(6, -6));
    } else {
        painter_->setPen(QColor(64, 64, 64));
        painter_->drawText(box, Qt::AlignCenter, "?");
    }
    painter_->restore();
}
