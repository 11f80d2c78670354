#include "editor/ui/MyMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <optional>

#include "common/Encoding.h"
#include "display/ui/ScrollActions.h"
#include "settings/ui/QtText.h"

namespace {

constexpr int kSmoothTickMs = 15;
constexpr int kAutoScrollMs = 20;
constexpr int32_t kPiece = 8192;  // characters drawn at once
constexpr uint32_t kLinkColour = 0x0000FF;
constexpr qint64 kLongAgo = std::numeric_limits<qint64>::min() / 4;

uint8_t Byte(char c) {
    return static_cast<uint8_t>(c);
}

bool IsWordChar(char ch) {
    const uint8_t c = Byte(ch);
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0xC0 ||
           c == 0xA8 || c == 0xB8;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool EndsLink(char c) {
    switch (c) {
        case '\0':
        case '\t':
        case '\n':
        case '\r':
        case ' ':
        case '"':
        case '\'':
        case ',':
        case '<':
        case '>':
            return true;
        default:
            return false;
    }
}

// The length of a hyperlink prefix at a place of a text, 0 when none starts there.
size_t LinkPrefixAt(const std::string& s, size_t at) {
    static const char* const kPrefixes[] = {"email:", "ftp://", "file://", "http://", "mailto:"};
    const char first = static_cast<char>(std::tolower(Byte(s[at])));
    if (first != 'e' && first != 'f' && first != 'h' && first != 'm') return 0;
    for (const char* prefix : kPrefixes) {
        const size_t n = std::char_traits<char>::length(prefix);
        if (at + n > s.size()) continue;
        bool same = true;
        for (size_t i = 0; i < n && same; ++i)
            same = std::tolower(Byte(s[at + i])) == Byte(prefix[i]);
        if (same) return n;
    }
    return 0;
}

struct TLink {
    int32_t Start, End;
};

// The hyperlinks of a line that reach into the columns from .. to.
std::vector<TLink> LinksIn(const std::string& s, int32_t from, int32_t to) {
    std::vector<TLink> links;
    // A link that starts before `from` has no delimiter between its start and `from`; links
    // are never that long, and a line without delimiters (base64) must not be searched whole.
    constexpr size_t kLongestLink = 4096;
    size_t at = static_cast<size_t>(from);
    const size_t limit = at > kLongestLink ? at - kLongestLink : 0;
    while (at > limit && !EndsLink(s[at - 1]))
        --at;
    const size_t end = std::min(s.size(), static_cast<size_t>(to));
    while (at < end) {
        if (LinkPrefixAt(s, at) == 0) {
            ++at;
            continue;
        }
        size_t stop = at;
        while (stop < s.size() && !EndsLink(s[stop]))
            ++stop;
        if (static_cast<int32_t>(stop) > from) links.push_back({static_cast<int32_t>(at), static_cast<int32_t>(stop)});
        at = stop;
    }
    return links;
}

int32_t NextWordStart(const std::string& s, int32_t col) {
    const auto n = static_cast<int32_t>(s.size());
    while (col < n && IsWordChar(s[static_cast<size_t>(col)]))
        ++col;
    while (col < n && !IsWordChar(s[static_cast<size_t>(col)]))
        ++col;
    return col;
}

int32_t PrevWordStart(const std::string& s, int32_t col) {
    col = std::min(col, static_cast<int32_t>(s.size()));
    while (col > 0 && !IsWordChar(s[static_cast<size_t>(col - 1)]))
        --col;
    while (col > 0 && IsWordChar(s[static_cast<size_t>(col - 1)]))
        --col;
    return col;
}

uint32_t Rgb(const QColor& c) {
    return static_cast<uint32_t>(c.rgb()) & 0xFFFFFF;
}

}  // namespace

TMyMemo::TMyMemo(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    setFrameShape(QFrame::StyledPanel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    resize(320, 240);
    clock_.start();
    pressTimes_.fill(kLongAgo);
    scroll_.AccelerationLimit = 1024;

    text_.OnLinesReplaced = [this](int32_t first, int32_t added) {
        spotCacheValid_ = false;
        rowsLine_ = -1;
        for (int32_t i = first; i < first + added; ++i)
            MeasureLine(i);
    };
    text_.OnReset = [this] { Reset(); };
    text_.OnChange = [this] { Edited(); };

    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &TMyMemo::VerticalAction);
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, &TMyMemo::HorizontalAction);
    connect(verticalScrollBar(), &QAbstractSlider::sliderReleased, this, [this] {
        if (!Tracking) ScrollRequest(0, verticalScrollBar()->sliderPosition() - scrollY_ - scroll_.PendingY, false);
    });
    connect(horizontalScrollBar(), &QAbstractSlider::sliderReleased, this, [this] {
        if (!Tracking) ScrollRequest(horizontalScrollBar()->sliderPosition() - scrollX_ - scroll_.PendingX, 0, false);
    });

    SetTimedScroll(true);
    blink_ = new QTimer(this);
    connect(blink_, &QTimer::timeout, this, [this] {
        caretOn_ = !caretOn_;
        UpdateCaret();
    });
    autoScroll_ = new QTimer(this);
    autoScroll_->setInterval(kAutoScrollMs);
    connect(autoScroll_, &QTimer::timeout, this, [this] {
        if (!dragging_) return autoScroll_->stop();
        Safely([this] {
            ScrollBy(scroll_.PendingX, scroll_.PendingY, false);
            DragTo(dragPoint_);
        });
    });
    FontChanged();
}

TMyMemo::~TMyMemo() {
    // The text outlives nothing that could call back into a half-destroyed view.
    text_.OnLinesReplaced = nullptr;
    text_.OnReset = nullptr;
    text_.OnChange = nullptr;
}

// --- properties ---

void TMyMemo::SetReadOnly(bool on) {
    text_.ReadOnly = on;
    viewport()->setCursor(on ? Qt::ArrowCursor : Qt::IBeamCursor);
}

void TMyMemo::SetHideCaret(bool on) {
    if (on == hideCaret_) return;
    caretOn_ = false;
    UpdateCaret();
    hideCaret_ = on;
    if (on) {
        SetReadOnly(true);
        blink_->stop();
    } else {
        ResetBlink();
    }
}

void TMyMemo::SetWordWrap(bool on) {
    if (on == wordWrap_) return;
    wordWrap_ = on;
    scrollX_ = 0;
    Remeasure();
    UpdateScrollBars();
    ScrollBy(0, 0, false);
    viewport()->update();
}

void TMyMemo::SetScrollBars(TMemoScrolls bars) {
    scrollBars_ = bars;
    Remeasure();
    UpdateScrollBars();
}

void TMyMemo::SetInterLineSpacing(int32_t pixels) {
    interLineSpacing_ = pixels;
    lineHeight_ = std::max(target_.Height(font_) + interLineSpacing_, 1);
    spotCacheValid_ = false;
    UpdateScrollBars();
    viewport()->update();
}

void TMyMemo::SetTimedScroll(bool on) {
    scroll_.Clear();
    if (on == (timer_ != nullptr)) return;
    if (on) {
        timer_ = new QTimer(this);
        timer_->setInterval(kSmoothTickMs);
        connect(timer_, &QTimer::timeout, this, [this] { Safely([this] { ScrollStep(); }); });
    } else {
        delete timer_;
        timer_ = nullptr;
    }
}

void TMyMemo::SetMarkHyperlinks(bool on) {
    markHyperlinks_ = on;
    viewport()->update();
}

void TMyMemo::SetOverwrite(bool on) {
    text_.Overwrite = on;
    UpdateCaret();
}

// --- measuring ---

void TMyMemo::FontChanged() {
    const QFont f = font();
    const int pixels = f.pixelSize() > 0 ? f.pixelSize() : static_cast<int>(std::lround(f.pointSizeF() * 96 / 72));
    TFontRequest request{FromQ(f.family()), std::max(pixels, 6), 0};
    font_ = target_.CreateFont(request);
    request.Style = 4;  // underlined, for links
    linkFont_ = target_.CreateFont(request);
    adv_ = target_.Advances(font_);
    Remeasure();
    UpdateScrollBars();
    viewport()->update();
}

int32_t TMyMemo::RowEnd(const std::string& s, int32_t start) const {
    const auto n = static_cast<int32_t>(s.size());
    const int64_t room = wrapWidth_ - 2;
    int64_t sum = 0;
    int32_t k = -1;
    for (int32_t i = start; i < n; ++i) {
        sum += adv_[Byte(s[static_cast<size_t>(i)])];
        if (sum > room) {
            k = i - start;
            break;
        }
    }
    if (k < 0) return n;
    // Break after the last blank that fits; a word longer than the row is cut.
    const int32_t r = std::max(k - 1, 1);
    for (int32_t q = std::min(r, n - 1 - start); q >= 1; --q)
        if (IsBlank(s[static_cast<size_t>(start + q)])) return start + q + 1;
    return start + std::min(r, n - start);
}

const std::vector<int32_t>& TMyMemo::RowStarts(int32_t line) const {
    static const std::vector<int32_t> kOneRow{0};
    if (!wordWrap_ || line < 0 || line >= text_.Lines.Count()) return kOneRow;
    // The caret's line is asked for several times for each key and paint: its rows are kept
    // until the lines or the wrap change.
    if (rowsLine_ == line) return rows_;
    rows_.assign(1, 0);
    const std::string& s = text_.Lines.Get(line);
    const auto n = static_cast<int32_t>(s.size());
    for (int32_t at = RowEnd(s, 0); at < n; at = RowEnd(s, at))
        rows_.push_back(at);
    rowsLine_ = line;
    return rows_;
}

void TMyMemo::MeasureLine(int32_t line) {
    const std::string& s = text_.Lines.Get(line);
    int64_t width = 0;
    for (char c : s)
        width += adv_[Byte(c)];
    // The wrapped rows found here are the ones the caret and the paint ask for next.
    rowsLine_ = -1;
    const int32_t rows = static_cast<int32_t>(RowStarts(line).size());
    const auto w = static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX / 2));
    text_.Lines.SetMeasure(line, w, rows);
    if (!wordWrap_) maxWidth_ = std::max(maxWidth_, w);
    ++measured_;
}

void TMyMemo::Remeasure() {
    lineHeight_ = std::max(target_.Height(font_) + interLineSpacing_, 1);
    spotCacheValid_ = false;
    rowsLine_ = -1;
    if (wordWrap_) {
        wrapWidth_ = ClientWidth();
        maxWidth_ = std::max(wrapWidth_ - 4, 0);
    } else {
        maxWidth_ = 0;
    }
    for (int32_t i = text_.Lines.Count() - 1; i >= 0; --i)
        MeasureLine(i);
}

int64_t TMyMemo::TakeMeasuredLines() {
    const int64_t n = measured_;
    measured_ = 0;
    return n;
}

// --- rows and places ---

int64_t TMyMemo::FirstRowOf(int32_t line) const {
    if (!wordWrap_) return line;
    const int32_t n = text_.Lines.Count();
    line = std::clamp(line, 0, n);
    int32_t at = 0;
    int64_t first = 0;
    if (spotCacheValid_ && spotCache_.Line <= line) {
        at = spotCache_.Line;
        first = spotCache_.FirstRow;
    }
    for (; at < line; ++at)
        first += text_.Lines.Item(at).RowCount;
    if (line < n) {
        spotCache_ = {line, 0, first};
        spotCacheValid_ = true;
    }
    return first;
}

TMyMemo::TRowSpot TMyMemo::SpotOfRow(int64_t row) const {
    const int32_t n = text_.Lines.Count();
    if (!wordWrap_) {
        const auto line = static_cast<int32_t>(std::clamp<int64_t>(row, 0, n));
        return {line, 0, line};
    }
    int32_t line = 0;
    int64_t first = 0;
    if (spotCacheValid_ && spotCache_.FirstRow <= row) {
        line = spotCache_.Line;
        first = spotCache_.FirstRow;
    }
    while (line < n && first + text_.Lines.Item(line).RowCount <= row) {
        first += text_.Lines.Item(line).RowCount;
        ++line;
    }
    if (line < n) {
        spotCache_ = {line, 0, first};
        spotCacheValid_ = true;
    }
    return {line, static_cast<int32_t>(row - first), first};
}

TTextPos TMyMemo::PositionAt(QPoint client, bool* rowStart) const {
    const int64_t x = std::max<int64_t>(int64_t{client.x()} + scrollX_, 0);
    const int64_t y = std::max<int64_t>(int64_t{client.y()} + scrollY_, 0);
    const int64_t row = y / lineHeight_;
    if (rowStart) *rowStart = true;
    if (row >= text_.Lines.TotalRows()) return {0, text_.Lines.Count()};
    const TRowSpot spot = SpotOfRow(row);
    const std::string& s = text_.Lines.Get(spot.Line);
    const std::vector<int32_t>& starts = RowStarts(spot.Line);
    const size_t r = std::min(static_cast<size_t>(spot.Row), starts.size() - 1);
    const int32_t from = starts[r];
    const int32_t to = r + 1 < starts.size() ? starts[r + 1] : static_cast<int32_t>(s.size());
    int64_t left = 0;
    int32_t col = to;
    for (int32_t i = from; i < to; ++i) {
        const int32_t w = adv_[Byte(s[static_cast<size_t>(i)])];
        if (x < left + w) {
            col = (x - left) * 2 > w ? i + 1 : i;
            break;
        }
        left += w;
    }
    if (rowStart) *rowStart = col == from;
    return {col, spot.Line};
}

QPoint TMyMemo::PointOf(TTextPos pos, bool rowStart) const {
    const int32_t n = text_.Lines.Count();
    if (pos.Line >= n || pos.Line < 0) {
        const int64_t y = text_.Lines.TotalRows() * lineHeight_;
        return {-scrollX_, static_cast<int>(std::clamp<int64_t>(y - scrollY_, INT_MIN / 2, INT_MAX / 2))};
    }
    const std::string& s = text_.Lines.Get(pos.Line);
    const int32_t col = std::clamp(pos.Col, 0, static_cast<int32_t>(s.size()));
    const std::vector<int32_t>& starts = RowStarts(pos.Line);
    size_t r = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), col) - starts.begin()) - 1;
    if (!rowStart && r > 0 && starts[r] == col) --r;  // the end of the earlier row
    int64_t x = 0;
    for (int32_t i = starts[r]; i < col; ++i)
        x += adv_[Byte(s[static_cast<size_t>(i)])];
    const int64_t y = (FirstRowOf(pos.Line) + static_cast<int64_t>(r)) * lineHeight_;
    return {static_cast<int>(std::clamp<int64_t>(x - scrollX_, INT_MIN / 2, INT_MAX / 2)),
            static_cast<int>(std::clamp<int64_t>(y - scrollY_, INT_MIN / 2, INT_MAX / 2))};
}

QRect TMyMemo::CaretRect() const {
    const QPoint at = PointOf(text_.Caret(), rowFlag_);
    const int width = text_.Overwrite ? 6 : std::max(style()->pixelMetric(QStyle::PM_TextCursorWidth), 1);
    return {at.x(), at.y(), width, lineHeight_};
}

int32_t TMyMemo::ClientWidth() const {
    return viewport()->width();
}

int32_t TMyMemo::ClientHeight() const {
    return viewport()->height();
}

int32_t TMyMemo::PageRows() const {
    return std::max(ClientHeight() / lineHeight_, 1);
}

// --- changes of the text ---

void TMyMemo::Reset() {
    scrollX_ = scrollY_ = 0;
    scroll_.Clear();
    rowFlag_ = true;
    Remeasure();
    UpdateScrollBars();
    viewport()->update();
}

void TMyMemo::Edited() {
    spotCacheValid_ = false;
    const TTextPos caret = text_.Caret();
    if (caret.Col == 0) rowFlag_ = true;
    UpdateScrollBars();
    ScrollIntoView();
    viewport()->update();
    emit changed();
    if (Onchange) Onchange();
}

void TMyMemo::Clear() {
    text_.Lines.Clear();
    text_.UndoBuffer.Clear();
}

// --- scrolling ---

void TMyMemo::UpdateScrollBars() {
    if (updatingBars_) return;
    updatingBars_ = true;
    for (int pass = 0; pass < 2; ++pass) {
        const int32_t cw = ClientWidth(), ch = ClientHeight();
        const int64_t height = ContentHeight();
        bool wantV = scrollBars_ == TMemoScrolls::Both || scrollBars_ == TMemoScrolls::Vertical ||
                     (scrollBars_ == TMemoScrolls::Auto && height >= ch);
        bool wantH = scrollBars_ == TMemoScrolls::Both || scrollBars_ == TMemoScrolls::Horizontal ||
                     (scrollBars_ == TMemoScrolls::Auto && !wordWrap_ && ContentWidth() >= cw);
        wantV = wantV && ch > 0;
        wantH = wantH && cw > 0;
        const auto policy = [](bool on) { return on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff; };
        const bool changed = verticalScrollBarPolicy() != policy(wantV) || horizontalScrollBarPolicy() != policy(wantH);
        if (changed) {
            setVerticalScrollBarPolicy(policy(wantV));
            setHorizontalScrollBarPolicy(policy(wantH));
            if (wordWrap_ && ClientWidth() != wrapWidth_) Remeasure();
            continue;  // the client size changed: once more
        }
        // The last line may come to the top, never a blank screen past the end.
        const auto maxY = static_cast<int>(std::clamp<int64_t>(height + lineHeight_ - ch, 0, INT_MAX));
        QScrollBar* v = verticalScrollBar();
        if (v->maximum() != maxY || v->minimum() != 0) v->setRange(0, maxY);
        if (v->pageStep() != ch) v->setPageStep(std::max(ch, 1));
        v->setSingleStep(lineHeight_);
        if (v->value() != scrollY_) v->setValue(scrollY_);
        QScrollBar* h = horizontalScrollBar();
        const int maxX = std::max(ContentWidth() - cw, 0);
        if (h->maximum() != maxX || h->minimum() != 0) h->setRange(0, maxX);
        if (h->pageStep() != cw) h->setPageStep(std::max(cw, 1));
        if (h->value() != scrollX_) h->setValue(scrollX_);
        break;
    }
    updatingBars_ = false;
}

void TMyMemo::ScrollBy(int32_t dx, int32_t dy, bool snap) {
    const int64_t maxX = std::max(ContentWidth() - ClientWidth(), 0);
    const int64_t maxY = std::max<int64_t>(ContentHeight() + lineHeight_ - ClientHeight(), 0);
    int64_t x = std::clamp<int64_t>(int64_t{scrollX_} + dx, 0, maxX);
    int64_t y = std::clamp<int64_t>(int64_t{scrollY_} + dy, 0, std::min<int64_t>(maxY, INT_MAX));
    if (y == maxY && scroll_.PendingY > 0) scroll_.PendingY = 0;
    if (y == 0 && scroll_.PendingY < 0) scroll_.PendingY = 0;
    if (snap && lineHeight_ > 0) {
        y = dy > 0 ? (y + lineHeight_ - 1) / lineHeight_ * lineHeight_ : y / lineHeight_ * lineHeight_;
        y = std::clamp<int64_t>(y, 0, std::min<int64_t>(maxY, INT_MAX));
    }
    if (x == scrollX_ && y == scrollY_) return;
    scrollX_ = static_cast<int32_t>(x);
    scrollY_ = static_cast<int32_t>(y);
    UpdateScrollBars();
    viewport()->update();
}

void TMyMemo::ScrollRequest(int32_t dx, int32_t dy, bool snap) {
    if (!timer_) return ScrollBy(dx, dy, snap);
    scroll_.PendingX += dx;
    scroll_.PendingY += dy;
    snapPending_ = snap;
    StartSmoothScroll();
}

void TMyMemo::StartSmoothScroll() {
    if (timer_->isActive()) return;  // the running timer takes the new distance along
    ScrollStep();
    if (scroll_.Pending()) timer_->start();
}

bool TMyMemo::ScrollStep() {
    if (!scroll_.Pending()) {
        scroll_.Clear();
        if (timer_) timer_->stop();
        if (dragging_) DragTo(dragPoint_);
        return false;
    }
    int32_t dx = 0, dy = 0;
    scroll_.Step(adv_[217], lineHeight_, ClientHeight(), dx, dy);
    ScrollBy(dx, dy, snapPending_ && scroll_.PendingY == 0);
    if (!scroll_.Pending() && timer_) timer_->stop();
    if (dragging_) DragTo(dragPoint_);
    return true;
}

void TMyMemo::ScrollIntoView() {
    const QPoint at = PointOf(text_.Caret(), rowFlag_);
    const int32_t cw = ClientWidth(), ch = ClientHeight();
    int32_t dx = 0, dy = 0;
    if (at.y() < 0)
        dy = at.y();
    else if (at.y() > ch - lineHeight_)
        dy = at.y() - std::max(ch - lineHeight_, 0);
    if (at.x() < 0)
        dx = at.x() - cw / 4;
    else if (at.x() > cw - 2)
        dx = at.x() - (cw - 2) + cw / 4;
    if (dx == 0 && dy == 0) return UpdateCaret();
    if (!timer_) return ScrollBy(dx, dy, false);
    scroll_.PendingX = dx;
    scroll_.PendingY = dy;
    snapPending_ = false;
    StartSmoothScroll();
}

void TMyMemo::VerticalAction(int action) {
    Safely([&] {
        QScrollBar* bar = verticalScrollBar();
        if (action == QAbstractSlider::SliderMove) {
            if (Tracking) ScrollRequest(0, bar->sliderPosition() - scrollY_ - scroll_.PendingY, false);
            return;
        }
        const int32_t u = std::max(lineHeight_, 1);
        const int32_t h = ClientHeight();
        const int32_t page = std::max(h > 3 * u ? h - 2 * u : h, 0);
        const auto toEnd = static_cast<int32_t>(
            std::clamp<int64_t>(ContentHeight() + u - h - scrollY_ - scroll_.PendingY, INT_MIN / 2, INT_MAX / 2));
        const std::optional<int32_t> dy = ScrollActionStep(action, u, page, -scrollY_ - scroll_.PendingY, toEnd);
        if (!dy) return;
        bar->setSliderPosition(scrollY_);  // the view moves, not Qt's own step
        const bool toEdge = action == QAbstractSlider::SliderToMinimum || action == QAbstractSlider::SliderToMaximum;
        ScrollRequest(0, *dy, MatchTopLine && !toEdge);
    });
}

void TMyMemo::HorizontalAction(int action) {
    Safely([&] {
        QScrollBar* bar = horizontalScrollBar();
        if (action == QAbstractSlider::SliderMove) {
            if (Tracking) ScrollRequest(bar->sliderPosition() - scrollX_ - scroll_.PendingX, 0, false);
            return;
        }
        const int32_t w = ClientWidth();
        const int32_t step = w > 256 ? w / 4 : w <= 64 ? 1 : w / 2;
        const std::optional<int32_t> dx = ScrollActionStep(action, step, w, -scrollX_ - scroll_.PendingX,
                                                           ContentWidth() - w - scrollX_ - scroll_.PendingX);
        if (!dx) return;
        bar->setSliderPosition(scrollX_);
        ScrollRequest(*dx, 0, false);
    });
}

// --- caret and selection ---

void TMyMemo::UpdateCaret() {
    // A rectangle of a pixel or two is not repainted reliably on every platform.
    viewport()->update(CaretRect().adjusted(-3, 0, 3, 0));
}

int TMyMemo::BlinkInterval() const {
    return blink_->isActive() ? blink_->interval() : 0;
}

void TMyMemo::ResetBlink() {
    caretOn_ = true;
    if (hideCaret_) return;
    const int interval = QApplication::cursorFlashTime() / 2;  // Qt's flash time is a whole on-off cycle
    if (interval > 0 && hasFocus())
        blink_->start(interval);
    else
        blink_->stop();
    UpdateCaret();
}

void TMyMemo::MoveCaret(TTextPos pos, bool rowStart, bool extend) {
    UpdateCaret();
    const TTextPos anchor = text_.HasSelection() ? text_.SelectionAnchor() : text_.Caret();
    if (extend)
        text_.Select(anchor, pos);
    else
        text_.SetCaret(pos);
    const TTextPos caret = text_.Caret();
    rowFlag_ = caret.Col == 0 || caret.Line >= text_.Lines.Count() ? true : rowStart;
    ResetBlink();
    ScrollIntoView();
    viewport()->update();
}

void TMyMemo::SelectAll() {
    text_.Select({0, 0}, {0, text_.Lines.Count()});
    rowFlag_ = true;
    viewport()->update();
}

void TMyMemo::CaretMoved() {
    rowFlag_ = text_.Caret().Col == 0;
    ResetBlink();
    ScrollIntoView();
    viewport()->update();
}

void TMyMemo::SelectWord(TTextPos pos) {
    const TMemoStringList& lines = text_.Lines;
    if (pos.Line < 0 || pos.Line >= lines.Count()) return MoveCaret(pos, true, false);
    const std::string& s = lines.Get(pos.Line);
    const auto n = static_cast<int32_t>(s.size());
    const int32_t col = std::clamp(pos.Col, 0, n);
    int32_t start = 0, end = n;
    const int32_t prev = col > 0 ? PrevWordStart(s, col) : -1;
    if (prev >= 0 && prev < col) {
        start = prev;
    } else if (col == 0 && n > 0 && (IsWordChar(s[0]) || IsBlank(s[0]))) {
        start = 0;  // the word the click is on, not the one after it
    } else {
        start = NextWordStart(s, col);
        if (start >= n) start = -1;
    }
    if (start >= 0) {
        end = start;
        while (end < n && IsBlank(s[static_cast<size_t>(end)]))
            ++end;
        while (end < n && IsWordChar(s[static_cast<size_t>(end)]))
            ++end;
        while (end < n && IsBlank(s[static_cast<size_t>(end)]))
            ++end;
    } else {
        start = 0;
    }
    text_.Select({start, pos.Line}, {end, pos.Line});
    rowFlag_ = end == 0;
    ResetBlink();
    viewport()->update();
}

void TMyMemo::SelectSentence(TTextPos pos) {
    const TMemoStringList& lines = text_.Lines;
    if (pos.Line < 0 || pos.Line >= lines.Count()) return;
    const std::string& s = lines.Get(pos.Line);
    const auto n = static_cast<int32_t>(s.size());
    if (n == 0) return;
    const int32_t col = std::clamp(pos.Col, 0, n - 1);
    if (s[static_cast<size_t>(col)] == '.') return MoveCaret({col, pos.Line}, true, false);
    int32_t end = col;
    while (end < n && s[static_cast<size_t>(end)] != '.')
        ++end;
    while (end < n && (IsBlank(s[static_cast<size_t>(end)]) || s[static_cast<size_t>(end)] == '.'))
        ++end;
    int32_t start = col;
    while (start > 0 && s[static_cast<size_t>(start - 1)] != '.')
        --start;
    while (start < n && (IsBlank(s[static_cast<size_t>(start)]) || s[static_cast<size_t>(start)] == '.'))
        ++start;
    text_.Select({end, pos.Line}, {start, pos.Line});
    rowFlag_ = true;
    ResetBlink();
    viewport()->update();
}

bool TMyMemo::IsHyperlinkAt(QPoint client) const {
    if (!markHyperlinks_) return false;
    const TTextPos pos = PositionAt(client);
    if (pos.Line >= text_.Lines.Count()) return false;
    const std::string& s = text_.Lines.Get(pos.Line);
    for (const TLink& link : LinksIn(s, pos.Col, pos.Col + 1))
        if (link.Start < pos.Col && pos.Col < link.End) return true;
    return false;
}

// --- clipboard and undo ---

void TMyMemo::Copy() {
    QApplication::clipboard()->setText(ToQ(text_.SelText()));
}

void TMyMemo::Cut() {
    if (!text_.HasSelection()) return;
    Copy();
    if (!ReadOnly()) text_.DeleteSelection();
}

void TMyMemo::Paste() {
    if (ReadOnly()) return;
    const QString clip = QApplication::clipboard()->text();
    if (clip.isEmpty()) return;
    text_.PasteText(FromQ(clip));
}

void TMyMemo::Undo() {
    if (!ReadOnly()) text_.Undo();
}

void TMyMemo::Redo() {
    if (!ReadOnly()) text_.Redo();
}

// --- painting ---

void TMyMemo::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect clip = event->rect();
    painter.fillRect(clip, palette().color(QPalette::Base));
    target_.SetPainter(&painter);
    try {
        const TMemoStringList& lines = text_.Lines;
        const int64_t firstRow = (int64_t{scrollY_} + std::max(clip.top(), 0)) / lineHeight_;
        TRowSpot spot = SpotOfRow(firstRow);
        int64_t y = (spot.FirstRow + spot.Row) * lineHeight_ - scrollY_;
        int32_t row = spot.Row;
        for (int32_t line = spot.Line; line < lines.Count() && y <= clip.bottom(); ++line, row = 0) {
            const std::vector<int32_t>& starts = RowStarts(line);
            const auto length = static_cast<int32_t>(lines.Get(line).size());
            for (; static_cast<size_t>(row) < starts.size() && y <= clip.bottom(); ++row, y += lineHeight_) {
                const int32_t to =
                    static_cast<size_t>(row) + 1 < starts.size() ? starts[static_cast<size_t>(row) + 1] : length;
                PaintRow(painter, clip, line, starts[static_cast<size_t>(row)], to, static_cast<int32_t>(y));
            }
        }
        if (hasFocus() && !hideCaret_ && caretOn_) {
            const QRect caret = CaretRect();
            if (caret.intersects(clip)) {
                painter.setCompositionMode(QPainter::CompositionMode_Difference);
                painter.fillRect(caret, Qt::white);
                painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            }
        }
    } catch (const std::exception&) {
        // The view disagrees with the text: start it over rather than end the program.
        QTimer::singleShot(0, this, [this] {
            text_.SetCaret({0, 0});
            Reset();
        });
    }
    target_.SetPainter(nullptr);
}

void TMyMemo::PaintRow(QPainter& painter, const QRect& clip, int32_t line, int32_t from, int32_t to, int32_t y) {
    const std::string& s = text_.Lines.Get(line);
    int32_t selFrom = INT_MAX, selTo = INT_MAX;
    if (text_.HasSelection()) {
        TTextPos a = text_.SelectionAnchor(), b = text_.Caret();
        if (b.Line < a.Line || (b.Line == a.Line && b.Col < a.Col)) std::swap(a, b);
        if (line >= a.Line && line <= b.Line) {
            selFrom = line == a.Line ? a.Col : 0;
            selTo = line == b.Line ? b.Col : INT_MAX;
        }
    }
    const QPalette& pal = palette();
    const uint32_t textColour = Rgb(pal.color(QPalette::Text));
    const uint32_t selectedColour = Rgb(pal.color(QPalette::HighlightedText));
    const QColor highlight = pal.color(QPalette::Highlight);

    int64_t x = -int64_t{scrollX_};
    int32_t i = from;
    while (i < to && x + adv_[Byte(s[static_cast<size_t>(i)])] <= clip.left()) {
        x += adv_[Byte(s[static_cast<size_t>(i)])];
        ++i;
    }
    // Links are looked for only in the part of the row that shows.
    int32_t shown = i;
    for (int64_t right = x; shown < to && right <= clip.right(); ++shown)
        right += adv_[Byte(s[static_cast<size_t>(shown)])];
    const std::vector<TLink> links = markHyperlinks_ ? LinksIn(s, i, shown) : std::vector<TLink>{};
    size_t link = 0;
    while (i < to && x <= clip.right()) {
        while (link < links.size() && links[link].End <= i)
            ++link;
        const bool inLink = link < links.size() && links[link].Start <= i;
        const bool selected = i >= selFrom && i < selTo;
        int32_t end = std::min(to, i + kPiece);
        if (!selected && selFrom > i) end = std::min(end, selFrom);
        if (selected) end = std::min(end, selTo);
        if (link < links.size()) end = std::min(end, inLink ? links[link].End : links[link].Start);
        int64_t width = 0;
        int32_t j = i;
        while (j < end && x + width <= clip.right()) {
            width += adv_[Byte(s[static_cast<size_t>(j)])];
            ++j;
        }
        if (selected) painter.fillRect(QRect(static_cast<int>(x), y, static_cast<int>(width), lineHeight_), highlight);
        const uint32_t colour = selected ? selectedColour : inLink ? kLinkColour : textColour;
        target_.DrawRun(inLink ? linkFont_ : font_, colour, static_cast<int32_t>(x), y,
                        std::string_view(s).substr(static_cast<size_t>(i), static_cast<size_t>(j - i)));
        x += width;
        i = j;
    }
}

QImage TMyMemo::RenderScreen() {
    QImage image(viewport()->size(), QImage::Format_RGB32);
    viewport()->render(&image);
    return image;
}

// --- events ---

void TMyMemo::Safely(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        const QString text = ToQ(e.what());
        QTimer::singleShot(0, this, [this, text] { emit failed(text); });
    }
}

bool TMyMemo::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            event->accept();  // neither typed nor a move of the focus
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TMyMemo::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Safely([this] {
        if (wordWrap_ && ClientWidth() != wrapWidth_) {
            Remeasure();
            viewport()->update();
        }
        UpdateScrollBars();
        ScrollBy(0, 0, false);
    });
}

void TMyMemo::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) Safely([this] { FontChanged(); });
}

void TMyMemo::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    ResetBlink();
}

void TMyMemo::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    blink_->stop();
    caretOn_ = false;
    UpdateCaret();
}

void TMyMemo::wheelEvent(QWheelEvent* event) {
    event->accept();
    Safely([&] {
        const int notches = TakeWheelNotches(wheelRemainder_, event->angleDelta().y());
        if (notches == 0) return;
        const int32_t h = ClientHeight();
        const int32_t step = h < lineHeight_ ? 1 : lineHeight_;
        int32_t amount = 0;
        if ((event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) == Qt::ControlModifier)
            amount = std::max(h > 3 * step ? h - 2 * step : h, 1);
        else
            amount = step * std::max(QApplication::wheelScrollLines(), 1);
        ScrollRequest(0, -notches * amount, MatchTopLine);  // towards the user scrolls down
    });
}

void TMyMemo::ScrollKey(int key) {
    const int32_t u = lineHeight_;
    const int32_t page = std::max(PageRows() - 1, 1) * u;
    switch (key) {
        case Qt::Key_Up:
            return ScrollRequest(0, -u, MatchTopLine);
        case Qt::Key_Down:
            return ScrollRequest(0, u, MatchTopLine);
        case Qt::Key_PageUp:
            return ScrollRequest(0, -page, MatchTopLine);
        case Qt::Key_PageDown:
            return ScrollRequest(0, page, MatchTopLine);
        case Qt::Key_Home:
            return ScrollRequest(-scrollX_, -scrollY_, false);
        case Qt::Key_End:
            return ScrollRequest(0, static_cast<int32_t>(std::min<int64_t>(ContentHeight(), INT_MAX / 2)), false);
        case Qt::Key_Left:
            return ScrollRequest(-std::max<int32_t>(adv_[217], 1), 0, false);
        case Qt::Key_Right:
            return ScrollRequest(std::max<int32_t>(adv_[217], 1), 0, false);
        default:
            return;
    }
}

void TMyMemo::KeyMove(QKeyEvent* event) {
    const TMemoStringList& lines = text_.Lines;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const TTextPos caret = text_.Caret();
    const int32_t n = lines.Count();
    auto lineLength = [&](int32_t line) {
        return line >= 0 && line < n ? static_cast<int32_t>(lines.Get(line).size()) : 0;
    };
    auto endOfPrevious = [&](TTextPos at) -> TTextPos {
        return at.Line > 0 ? TTextPos{lineLength(at.Line - 1), at.Line - 1} : TTextPos{0, 0};
    };
    auto verticalRows = [&](int32_t rows) {
        const QPoint at = PointOf(caret, rowFlag_);
        bool rowStart = rowFlag_;
        const TTextPos to = PositionAt({at.x(), at.y() + rows * lineHeight_}, &rowStart);
        MoveCaret(to, to.Col == 0 ? true : rowFlag_, shift);
    };
    switch (event->key()) {
        case Qt::Key_Left: {
            if (caret.Line >= n) return MoveCaret({lineLength(n - 1), n - 1}, false, shift);
            if (ctrl) {
                const int32_t start = PrevWordStart(lines.Get(caret.Line), caret.Col);
                if (start == 0 && caret.Line > 0) return MoveCaret(endOfPrevious(caret), false, shift);
                return MoveCaret({start, caret.Line}, true, shift);
            }
            if (caret.Col > 0) return MoveCaret({caret.Col - 1, caret.Line}, true, shift);
            return MoveCaret(endOfPrevious(caret), false, shift);
        }
        case Qt::Key_Right: {
            if (caret.Line >= n) return;
            const int32_t length = lineLength(caret.Line);
            if (caret.Col >= length) return MoveCaret({0, caret.Line + 1}, true, shift);
            if (ctrl) return MoveCaret({NextWordStart(lines.Get(caret.Line), caret.Col), caret.Line}, true, shift);
            return MoveCaret({caret.Col + 1, caret.Line}, false, shift);
        }
        case Qt::Key_Up:
            return verticalRows(-1);
        case Qt::Key_Down:
            return verticalRows(1);
        case Qt::Key_PageUp:
            return verticalRows(-std::max(PageRows() - 1, 1));
        case Qt::Key_PageDown:
            return verticalRows(std::max(PageRows() - 1, 1));
        case Qt::Key_Home: {
            if (ctrl) {
                const QPoint at = PointOf(caret, rowFlag_);
                return MoveCaret(PositionAt({at.x(), -scrollY_}), true, shift);
            }
            if (caret.Line >= n) return MoveCaret(caret, true, shift);
            const std::vector<int32_t>& starts = RowStarts(caret.Line);
            size_t r =
                static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), caret.Col) - starts.begin()) - 1;
            if (!rowFlag_ && r > 0 && starts[r] == caret.Col) --r;
            return MoveCaret({starts[r], caret.Line}, true, shift);
        }
        case Qt::Key_End: {
            if (ctrl) return MoveCaret({0, n}, true, shift);
            if (caret.Line >= n) return;
            const std::vector<int32_t>& starts = RowStarts(caret.Line);
            for (size_t r = 1; r < starts.size(); ++r)
                if (starts[r] > caret.Col) return MoveCaret({starts[r], caret.Line}, false, shift);
            return MoveCaret({lineLength(caret.Line), caret.Line}, false, shift);
        }
        default:
            return;
    }
}

void TMyMemo::TypeText(const QString& typed) {
    if (ReadOnly()) return;
    for (const QChar ch : typed) {
        if (ch.unicode() < 32 || ch.unicode() == 127 || ch.isSurrogate()) continue;
        for (char c : FromQ(QString(ch)))
            if (c != '\0') text_.TypeChar(c);
    }
    rowFlag_ = text_.Caret().Col == 0;
}

void TMyMemo::keyPressEvent(QKeyEvent* event) {
    // Escape belongs to the window (a dialog closes on it).
    if (event->key() == Qt::Key_Escape) return event->ignore();
    event->accept();
    Safely([&] {
        const Qt::KeyboardModifiers mods =
            event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const bool ctrl = mods & Qt::ControlModifier;
        const bool alt = mods & Qt::AltModifier;
        const bool editable = !ReadOnly();
        switch (event->key()) {
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Home:
            case Qt::Key_End:
                return hideCaret_ ? ScrollKey(event->key()) : KeyMove(event);
            case Qt::Key_Backspace:
                if (editable) text_.Backspace();
                return;
            case Qt::Key_Delete:
                if (editable) text_.DeleteChar();
                return;
            case Qt::Key_Insert:
                if (mods == Qt::NoModifier) return SetOverwrite(!Overwrite());
                if (mods == Qt::ControlModifier) return Copy();
                if (mods == Qt::ShiftModifier) return Paste();
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (!editable) return;
                if (text_.Overwrite && !text_.HasSelection()) text_.DeleteChar();
                text_.NewLine();
                rowFlag_ = true;
                return;
            default:
                break;
        }
        if (ctrl && !alt) {
            switch (event->key()) {
                case Qt::Key_A:
                    return SelectAll();
                case Qt::Key_C:
                    if (text_.HasSelection()) Copy();
                    return;
                case Qt::Key_V:
                    return Paste();
                case Qt::Key_X:
                    return Cut();
                case Qt::Key_Z:
                    return mods & Qt::ShiftModifier ? Redo() : Undo();
                default:
                    return;
            }
        }
        TypeText(event->text());
    });
}

void TMyMemo::HandlePress(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    const qint64 now = clock_.elapsed();
    const qint64 interval = QApplication::doubleClickInterval();
    const bool near = (at - lastPress_).manhattanLength() <= QApplication::startDragDistance();
    lastPress_ = at;
    if (!near) {
        pressTimes_.fill(kLongAgo);
        pressTimes_[0] = now;
    } else {
        std::rotate(pressTimes_.rbegin(), pressTimes_.rbegin() + 1, pressTimes_.rend());
        pressTimes_[0] = now;
        if (now - pressTimes_[1] <= interval) {
            dragging_ = false;
            const TTextPos pos = PositionAt(at);
            if (pressTimes_[1] - pressTimes_[2] > interval) {
                if (IsHyperlinkAt(at)) {
                    const std::string& s = text_.Lines.Get(pos.Line);
                    const auto n = static_cast<int32_t>(s.size());
                    auto over = [&](int32_t i) {
                        return i < n && (IsBlank(s[static_cast<size_t>(i)]) || s[static_cast<size_t>(i)] == ',');
                    };
                    int32_t end = pos.Col;
                    while (end < n && s[static_cast<size_t>(end)] != ' ' && s[static_cast<size_t>(end)] != ',')
                        ++end;
                    while (over(end))
                        ++end;
                    int32_t start = pos.Col;
                    while (start > 0 && s[static_cast<size_t>(start - 1)] != ' ')
                        --start;
                    while (over(start))
                        ++start;
                    text_.Select({end, pos.Line}, {start, pos.Line});
                    rowFlag_ = true;
                    viewport()->update();
                } else {
                    SelectWord(pos);
                }
            } else if (pressTimes_[2] - pressTimes_[3] > interval) {
                SelectSentence(pos);
            }
            return;
        }
    }
    if (hideCaret_) return;
    bool rowStart = true;
    const TTextPos pos = PositionAt(at, &rowStart);
    MoveCaret(pos, rowStart, event->modifiers() & Qt::ShiftModifier);
    dragging_ = true;
    dragPoint_ = at;
}

void TMyMemo::mousePressEvent(QMouseEvent* event) {
    Safely([&] { HandlePress(event); });
}

void TMyMemo::mouseDoubleClickEvent(QMouseEvent* event) {
    // Qt turns the second press into this event; it counts as a press all the same.
    Safely([&] { HandlePress(event); });
}

void TMyMemo::DragTo(QPoint client) {
    if (!dragging_) return;
    bool rowStart = true;
    const TTextPos pos = PositionAt(client, &rowStart);
    const TTextPos anchor = text_.HasSelection() ? text_.SelectionAnchor() : text_.Caret();
    UpdateCaret();
    text_.Select(anchor, pos);
    rowFlag_ = client.x() < 0 || pos.Line >= text_.Lines.Count() ? true : rowStart;
    const int32_t cw = ClientWidth(), ch = ClientHeight();
    const int32_t dx = client.x() < 0 ? client.x() : client.x() > cw ? client.x() - cw : 0;
    const int32_t dy = client.y() < 0 ? client.y() : client.y() > ch ? client.y() - ch : 0;
    scroll_.PendingX = dx;
    scroll_.PendingY = dy;
    if (dx != 0 || dy != 0) {
        if (timer_) {
            if (!timer_->isActive()) timer_->start();
        } else if (!autoScroll_->isActive()) {
            autoScroll_->start();
        }
    } else {
        autoScroll_->stop();
    }
    ResetBlink();
    viewport()->update();
}

void TMyMemo::mouseMoveEvent(QMouseEvent* event) {
    Safely([&] {
        const QPoint at = event->position().toPoint();
        if ((event->buttons() & Qt::LeftButton) && dragging_) {
            dragPoint_ = at;
            return DragTo(at);
        }
        if (event->buttons() != Qt::NoButton) return;
        if (IsHyperlinkAt(at))
            viewport()->setCursor(Qt::PointingHandCursor);
        else
            viewport()->setCursor(ReadOnly() ? Qt::ArrowCursor : Qt::IBeamCursor);
    });
}

void TMyMemo::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = false;
    autoScroll_->stop();
    scroll_.PendingX = scroll_.PendingY = 0;
}

void TMyMemo::inputMethodEvent(QInputMethodEvent* event) {
    event->accept();
    Safely([&] {
        if (!event->commitString().isEmpty()) TypeText(event->commitString());
    });
}

QVariant TMyMemo::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
        case Qt::ImEnabled:
            return !ReadOnly();
        case Qt::ImCursorRectangle:
            return CaretRect();
        case Qt::ImFont:
            return font();
        case Qt::ImCursorPosition:
            return text_.Caret().Col;
        case Qt::ImSurroundingText: {
            const TTextPos caret = text_.Caret();
            return caret.Line < text_.Lines.Count() ? ToQ(text_.Lines.Get(caret.Line)) : QString();
        }
        default:
            return QAbstractScrollArea::inputMethodQuery(query);
    }
}
