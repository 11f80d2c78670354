#include "display/FB2Layout.h"

#include <algorithm>
#include <climits>

#include "fb2/FBParser.h"

namespace {

using C = TFBClass;

constexpr uint32_t kBlue = 0x0000FF, kNavy = 0x000080, kMaroon = 0x800000, kBlack = 0x000000;
constexpr int32_t kIndent = 25, kAuthorIndent = 30;
constexpr uint8_t kBold = 1, kItalic = 2, kLink = 4;
// Verses and the dates of sections and poems are lines of their own.
constexpr uint8_t kVerse = 78, kSectionDate = 59, kPoemDate = 75;

bool IsDate(const TSimpleType& node) {
    return node.Kind == kSectionDate || node.Kind == kPoemDate;
}

int32_t FirstLineIndent(const TSimpleType& node, int32_t indent) {
    return node.Align == 0 || node.Align == 3 ? indent : 0;
}

// Restores a buffer field when the scope ends.
template <typename T>
class TKeep final {
public:
    explicit TKeep(T& field) : field_(field), saved_(field) {}
    ~TKeep() { field_ = saved_; }
    TKeep(const TKeep&) = delete;
    TKeep& operator=(const TKeep&) = delete;

private:
    T& field_;
    T saved_;
};

}  // namespace

bool EndsLine(const TSimpleType& node) {
    switch (node.Class) {
        case C::SimpleValue:
        case C::SimpleBody:
        case C::Bold:
        case C::Italic:
        case C::Link:
        case C::Sup:
        case C::Sub:
        case C::NamedStyle:
            return false;
        case C::Style:
            return node.Kind == kVerse;
        default:
            return true;
    }
}

TStringBuffer& TBookLayout::Buffer(IDrawTarget& target) {
    if (!buffer_ || target_ != &target) {
        buffer_ = std::make_unique<TStringBuffer>(target);
        target_ = &target;
    }
    return *buffer_;
}

void TBookLayout::Reset() {
    buffer_.reset();
    target_ = nullptr;
}

void TBookLayout::Measure(TFictionBook& book, IDrawTarget& target, int32_t viewWidth, int32_t viewHeight) {
    ViewWidth = std::max(viewWidth, 0);
    ViewHeight = std::max(viewHeight, 0);
    if (ViewWidth == 0) {
        book.Width = book.Height = book.Extra = 0;
        return;
    }
    Buffer(target);
    TPass pass;
    pass.Clip = {0, 0, ViewWidth, INT32_MAX};
    pass.Measure = true;
    TPixelSize size;
    TLayoutPoint pen;
    Layout(book, pass, size, pen);
}

void TBookLayout::Paint(TFictionBook& book, IDrawTarget& target, const TLayoutRect& clip, TLayoutPoint origin) {
    Buffer(target);
    TPass pass;
    pass.Clip = clip;
    pass.Measure = false;
    pass.Origin = origin;
    TPixelSize size;
    TLayoutPoint pen = origin;
    Layout(book, pass, size, pen);
}

void TBookLayout::FitPicture(int32_t& width, int32_t& height) const {
    // No fitting into a view that has no size yet; 64 bits, as the products overflow 32.
    if (!FitImages || ViewWidth < 1 || ViewHeight < 1 || width < 1 || height < 1) return;
    int64_t w = width, h = height;
    const int64_t w0 = w;
    if (ViewWidth < w) {
        w = ViewWidth;
        h = h * 10000 / std::max<int64_t>(w0 * 10000 / ViewWidth, 1);
    }
    const int64_t h0 = h;
    if (ViewHeight < h) {
        h = ViewHeight;
        w = w * 10000 / std::max<int64_t>(h0 * 10000 / ViewHeight, 1);
    }
    width = static_cast<int32_t>(std::max<int64_t>(w, 1));
    height = static_cast<int32_t>(std::max<int64_t>(h, 1));
}

void TBookLayout::EndLine(const TPass& pass, TPixelSize& size, TLayoutPoint& pen) {
    const TPixelSize line = buffer_->FlushLine(pen.X, pen.Y, pass.Measure);
    size.Width = std::max(size.Width, line.Width);
    size.Height += line.Height;
    if (line.Width > pass.Clip.Right - pass.Clip.Left) buffer_->Target().Beep();
    pen.X = 0;
}

void TBookLayout::TextValue(const std::string& text, const TPass& pass, TPixelSize& size, int32_t& extra,
                            TLayoutPoint& pen) {
    if (text.empty()) return;
    size_t cursor = 0;
    extra = std::max(extra, buffer_->AddRun(text, cursor).Height);
    while (cursor < text.size()) {
        EndLine(pass, size, pen);
        buffer_->AddRun(text, cursor);
    }
    // The last piece waits in the buffer for the next inline element or the end of the block.
}

void TBookLayout::Children(TSimpleType& node, const TPass& pass, TPixelSize& size, int32_t& extra, TLayoutPoint& pen) {
    TextValue(node.Text, pass, size, extra, pen);
    for (const auto& owned : node.Children) {
        TSimpleType& child = *owned;
        if (!child.Visible) continue;
        TPixelSize part;
        if (pass.Measure) {
            Layout(child, pass, part, pen);
            extra = std::max(extra, child.Extra);
        } else {
            const int32_t d = std::max(child.Height, child.Extra);
            if (d == 0) continue;
            // Only a block may be skipped: an inline child shares its line with what follows,
            // and its first words would be lost.
            if (EndsLine(child) && pass.Clip.Top >= pen.Y + d) {
                int32_t ignored = 0;
                buffer_->FlushLine(0, ignored, true);  // what was pending went above the strip
                pen.Y += child.Height;
                pen.X = 0;
                continue;
            }
            Layout(child, pass, part, pen);
        }
        size.Width = std::max(size.Width, part.Width);
        size.Height += part.Height;
        if (pen.Y >= pass.Clip.Bottom) return;
    }
}

void TBookLayout::Inline(TSimpleType& node, const TPass& pass, TPixelSize& size, int32_t& extra, TLayoutPoint& pen) {
    TKeep<uint8_t> align(buffer_->LineAlign);
    buffer_->LineAlign = node.Align;
    Children(node, pass, size, extra, pen);
}

void TBookLayout::Picture(TSimpleType& node, const TPass& pass, TPixelSize& size, TLayoutPoint& pen) {
    IDrawTarget& target = buffer_->Target();
    int32_t w = 0, h = 0;
    const TSimpleType* binary = node.LinkTarget;
    const TSimpleType* picture = binary && binary->Class == C::Binary ? PictureNode(*binary) : nullptr;
    if (picture) {
        w = picture->PictureWidth;
        h = picture->PictureHeight;
        FitPicture(w, h);
        if (!pass.Measure) target.DrawPicture(*picture, pass.Origin.X + std::max(0, (ViewWidth - w) / 2), pen.Y, w, h);
    } else {
        const TResourcePicture which =
            binary && binary->Class == C::Binary ? TResourcePicture::Empty : TResourcePicture::Unknown;
        target.ResourceSize(which, w, h);
        if (!pass.Measure) target.DrawResource(which, pass.Origin.X + (ViewWidth - w) / 2, pen.Y);
    }
    pen.Y += h;
    size.Width = std::max(size.Width, w);
    size.Height += h;
}

void TBookLayout::Layout(TSimpleType& node, const TPass& pass, TPixelSize& size, TLayoutPoint& pen) {
    size = {};
    int32_t extra = 0;
    if (!node.Visible) {
        if (pass.Measure) node.Width = node.Height = node.Extra = 0;
        return;
    }
    TStringBuffer& buffer = *buffer_;
    switch (node.Class) {
        case C::FictionBook:
            buffer.Reset();
            buffer.PushFont("Arial", 12, 0);
            buffer.LineWidth = pass.Clip.Right - kIndent;
            Children(node, pass, size, extra, pen);
            break;
        case C::EmptyLine: {
            EndLine(pass, size, pen);  // what is pending goes first, not below the gap
            const TFontList::TEntry* font = buffer.CurrentFont();
            const int32_t h = font ? -font->PixelHeight : 0;
            pen.X = 0;
            pen.Y += h;
            size.Height += h;
            break;
        }
        case C::SimpleValue:
        case C::SimpleBody:
            TextValue(node.Text, pass, size, extra, pen);
            break;
        case C::Image:
            EndLine(pass, size, pen);  // an image is a block of its own, also inside a paragraph
            Picture(node, pass, size, pen);
            break;
        case C::Binary:
            break;
        case C::Bold:
        case C::Italic:
        case C::Link: {
            TKeep<int32_t> font(buffer.FontIndex);
            TKeep<uint32_t> color(buffer.TextColor);
            const uint8_t bit = node.Class == C::Bold ? kBold : node.Class == C::Italic ? kItalic : kLink;
            if (const TFontList::TEntry* current = buffer.CurrentFont())
                buffer.PushFont(current->Face, current->Size, current->Style | bit);
            if (node.Class == C::Link) buffer.TextColor = kBlue;
            Inline(node, pass, size, extra, pen);
            break;
        }
        case C::Sup:
        case C::Sub:
            buffer.VerticalMode = node.Class == C::Sup ? 1 : 2;
            Inline(node, pass, size, extra, pen);
            buffer.VerticalMode = node.Class == C::Sup ? 3 : 4;
            break;
        case C::Style:
        case C::NamedStyle:
            Inline(node, pass, size, extra, pen);
            if (node.Kind == kVerse) EndLine(pass, size, pen);
            break;
        case C::P:
        case C::Subtitle: {
            // The block's own alignment holds until its last line is out (a centred subtitle).
            TKeep<uint8_t> align(buffer.LineAlign);
            pen.X = FirstLineIndent(node, kIndent);
            Inline(node, pass, size, extra, pen);
            buffer.LineAlign = node.Align;
            EndLine(pass, size, pen);
            break;
        }
        case C::TextAuthor: {
            TKeep<uint8_t> align(buffer.LineAlign);
            pen.X = FirstLineIndent(node, kAuthorIndent);
            {
                TKeep<uint32_t> color(buffer.TextColor);
                buffer.TextColor = kMaroon;
                Inline(node, pass, size, extra, pen);
            }
            buffer.LineAlign = node.Align;
            EndLine(pass, size, pen);
            break;
        }
        case C::Title: {
            const TFontList::TEntry* before = buffer.CurrentFont();
            const int32_t s = before ? -before->PixelHeight / 2 : 0;
            TKeep<int32_t> font(buffer.FontIndex);
            TKeep<uint32_t> color(buffer.TextColor);
            TKeep<uint8_t> align(buffer.LineAlign);
            EndLine(pass, size, pen);
            buffer.TextColor = kBlack;
            buffer.LineAlign = 1;
            if (before) buffer.PushFont(before->Face, before->Size * 140 / 100, before->Style | kBold);
            pen.Y += s;
            Children(node, pass, size, extra, pen);
            EndLine(pass, size, pen);
            pen.Y += s;
            size.Height += 2 * s;
            break;
        }
        case C::Epigraph: {
            pen.X = FirstLineIndent(node, kIndent);
            {
                TKeep<uint32_t> color(buffer.TextColor);
                buffer.TextColor = kNavy;
                Children(node, pass, size, extra, pen);
            }
            EndLine(pass, size, pen);
            break;
        }
        case C::Table:
            if (node.Align == 1 || node.Align == 2)
                Children(node, pass, size, extra, pen);
            else
                pen.X = kIndent;  // tables in sections take no space
            break;
        default:
            Children(node, pass, size, extra, pen);
            if (IsDate(node)) EndLine(pass, size, pen);
            break;
    }
    if (pass.Measure) {
        node.Width = size.Width;
        node.Height = size.Height;
        node.Extra = extra;
    }
}
