#include "display/ui/FB2Viewer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <optional>

#include "common/Encoding.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "display/ui/ScrollActions.h"
#include "fb2/XMLPars.h"

namespace {

constexpr int kTickMs = 15;

}  // namespace

TFB2Viewer::TFB2Viewer(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    resize(320, 240);
    relayout_ = new QTimer(this);
    relayout_->setSingleShot(true);
    relayout_->setInterval(0);
    // A drag of the window's edge sends many resizes: the book is measured once they pause.
    connect(relayout_, &QTimer::timeout, this, [this] {
        Remeasure();
        UpdateScrollBars();
        ScrollBy(0, 0);
        viewport()->update();
    });
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &TFB2Viewer::VerticalAction);
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, &TFB2Viewer::HorizontalAction);
    SetTimedScroll(true);
}

TFB2Viewer::~TFB2Viewer() = default;

// --- the document ---

std::shared_ptr<TFictionBook> TFB2Viewer::ParseDocument(const uint8_t* bytes, size_t length, bool& loaded) {
    auto book = std::make_shared<TFictionBook>();
    loaded = false;
    try {
        loaded = book->LoadFromBytes(bytes, length, kKeepAll);
    } catch (const std::exception&) {
        loaded = false;
    }
    return book;
}

bool TFB2Viewer::LoadDocument(const uint8_t* bytes, size_t length) {
    bool loaded = false;
    std::shared_ptr<TFictionBook> book = ParseDocument(bytes, length, loaded);
    return SetDocument(std::move(book), loaded);
}

bool TFB2Viewer::SetDocument(std::shared_ptr<TFictionBook> book, bool loaded) {
    if (!book || !loaded) {
        const std::string why = book ? book->FailureText() : std::string();
        ClearDocument();
        book_->Text = why;  // the reason stays readable for the caller
        // A blank page would say nothing: the reason is written on it.
        failure_ = QString::fromStdString(AnsiToUtf8(
            FormatMessageText(MessageText(rsBookNotShown), {why.empty() ? MessageText(rsUnknownError) : why})));
        return false;
    }
    layout_.Reset();  // nothing measured may point into the book that goes
    cache_ = QImage();
    book_ = std::move(book);
    DocumentChanged();
    return true;
}

void TFB2Viewer::ClearDocument() {
    failure_.clear();
    layout_.Reset();
    book_ = std::make_shared<TFictionBook>();
    cache_ = QImage();
    scrollX_ = scrollY_ = 0;
    scroll_.Clear();
    UpdateScrollBars();
    viewport()->update();
}

void TFB2Viewer::DocumentChanged() {
    scrollX_ = scrollY_ = 0;
    scroll_.Clear();
    failed_ = false;
    cache_ = QImage();
    Remeasure();
    UpdateScrollBars();
    if (Onchange) Onchange();
    viewport()->update();
}

void TFB2Viewer::Remeasure() {
    cache_ = QImage();
    ++measures_;
    try {
        layout_.Measure(*book_, target_, viewport()->width(), viewport()->height());
    } catch (const std::exception&) {
        book_->Width = book_->Height = 0;  // shown empty rather than ending the program
    }
}

// --- scroll bars ---

void TFB2Viewer::UpdateScrollBars() {
    if (updatingBars_) return;
    updatingBars_ = true;
    const int clientW = viewport()->width(), clientH = viewport()->height();
    const bool vertical = clientH >= 1 && (ScrollBars == TViewerScrolls::Auto || ScrollBars == TViewerScrolls::Both ||
                                           ScrollBars == TViewerScrolls::Vertical);
    const bool horizontal =
        clientW >= 1 && ((ScrollBars == TViewerScrolls::Auto && DocumentWidth() >= clientW) ||
                         ScrollBars == TViewerScrolls::Both || ScrollBars == TViewerScrolls::Horizontal);
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    QScrollBar* v = verticalScrollBar();
    const QSignalBlocker quietV(v);
    v->setRange(0, std::max(0, DocumentHeight() + 10 - viewport()->height()));
    v->setPageStep(std::max(viewport()->height(), 1));
    v->setSingleStep(kLineStep);
    v->setValue(scrollY_);
    QScrollBar* h = horizontalScrollBar();
    const QSignalBlocker quietH(h);
    h->setRange(0, std::max(0, DocumentWidth() - 1 - viewport()->width()));
    h->setPageStep(std::max(viewport()->width(), 1));
    h->setValue(scrollX_);
    updatingBars_ = false;
}

int32_t TFB2Viewer::PageStep() const {
    const int32_t u = std::max(kLineStep, 1);
    const int32_t h = viewport()->height();
    return std::max(h > 3 * u ? h - 2 * u : h, 0);
}

void TFB2Viewer::VerticalAction(int action) {
    QScrollBar* bar = verticalScrollBar();
    if (action == QAbstractSlider::SliderMove) {
        if (Tracking) ScrollRequest(0, bar->sliderPosition() - scrollY_ - scroll_.PendingY);
        return;
    }
    const int32_t u = std::max(kLineStep, 1);
    const std::optional<int32_t> dy =
        ScrollActionStep(action, u, PageStep(), -scrollY_ - scroll_.PendingY,
                         DocumentHeight() + u - viewport()->height() - scrollY_ - scroll_.PendingY);
    if (!dy) return;
    bar->setSliderPosition(scrollY_);  // the view moves, not Qt's own step
    ScrollRequest(0, *dy);
}

void TFB2Viewer::HorizontalAction(int action) {
    QScrollBar* bar = horizontalScrollBar();
    if (action == QAbstractSlider::SliderMove) {
        if (Tracking) ScrollRequest(bar->sliderPosition() - scrollX_ - scroll_.PendingX, 0);
        return;
    }
    const int32_t w = viewport()->width();
    const int32_t line = w > 256 ? w / 4 : w <= 64 ? 1 : w / 2;
    const std::optional<int32_t> dx = ScrollActionStep(action, line, w, -scrollX_, DocumentWidth() - w - scrollX_);
    if (!dx) return;
    bar->setSliderPosition(scrollX_);
    ScrollRequest(*dx, 0);
}

// --- scrolling ---

void TFB2Viewer::ScrollBy(int32_t dx, int32_t dy) {
    int32_t x = scrollX_, y = scrollY_;
    if (dx != 0) x = std::clamp(scrollX_ + dx, 0, std::max(0, DocumentWidth() - viewport()->width()));
    if (dy != 0) y = std::clamp(scrollY_ + dy, 0, std::max(0, DocumentHeight() + kLineStep - viewport()->height()));
    // After a resize the old position may lie beyond the end.
    y = std::clamp(y, 0, std::max(0, DocumentHeight() + kLineStep - viewport()->height()));
    x = std::clamp(x, 0, std::max(0, DocumentWidth() - viewport()->width()));
    if (x == scrollX_ && y == scrollY_) return;
    scrollX_ = x;
    scrollY_ = y;
    UpdateScrollBars();
    viewport()->update();
}

void TFB2Viewer::ScrollRequest(int32_t dx, int32_t dy) {
    if (!timer_) return ScrollBy(dx, dy);
    scroll_.PendingX += dx;
    scroll_.PendingY += dy;
    if (!timer_->isActive()) {
        ScrollStep();
        if (scroll_.Pending()) timer_->start();
    }
}

bool TFB2Viewer::ScrollStep() {
    if (!scroll_.Pending()) {
        scroll_.Clear();
        return false;
    }
    int32_t dx = 0, dy = 0;
    scroll_.Step(kLineStep, kLineStep, viewport()->height(), dx, dy);
    ScrollBy(dx, dy);
    if (!scroll_.Pending() && timer_) timer_->stop();
    return true;
}

void TFB2Viewer::SetTimedScroll(bool on) {
    scroll_.PendingX = scroll_.PendingY = 0;
    if (on == (timer_ != nullptr)) return;
    if (on) {
        timer_ = new QTimer(this);
        timer_->setInterval(kTickMs);
        connect(timer_, &QTimer::timeout, this, [this] { ScrollStep(); });
    } else {
        delete timer_;
        timer_ = nullptr;
    }
}

// --- input ---

void TFB2Viewer::wheelEvent(QWheelEvent* event) {
    const int notches = TakeWheelNotches(wheelRemainder_, event->angleDelta().y());
    if (notches == 0) return event->accept();
    const int32_t h = viewport()->height();
    const int32_t step = h < kLineStep ? 1 : kLineStep;
    int32_t amount = 0;
    if (event->modifiers() & Qt::ControlModifier)
        amount = std::max(h > 3 * step ? h - 2 * step : h, 1);
    else
        amount = step * std::max(QApplication::wheelScrollLines(), 1);
    ScrollRequest(0, -notches * amount);  // towards the user scrolls down
    event->accept();
}

void TFB2Viewer::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up:
            return VerticalAction(QAbstractSlider::SliderSingleStepSub);
        case Qt::Key_Down:
            return VerticalAction(QAbstractSlider::SliderSingleStepAdd);
        case Qt::Key_PageUp:
            return VerticalAction(QAbstractSlider::SliderPageStepSub);
        case Qt::Key_PageDown:
        case Qt::Key_Space:
            return VerticalAction(QAbstractSlider::SliderPageStepAdd);
        case Qt::Key_Home:
            return VerticalAction(QAbstractSlider::SliderToMinimum);
        case Qt::Key_End:
            return VerticalAction(QAbstractSlider::SliderToMaximum);
        case Qt::Key_Left:
            return HorizontalAction(QAbstractSlider::SliderSingleStepSub);
        case Qt::Key_Right:
            return HorizontalAction(QAbstractSlider::SliderSingleStepAdd);
        default:
            QAbstractScrollArea::keyPressEvent(event);
    }
}

void TFB2Viewer::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QAbstractScrollArea::mousePressEvent(event);
}

void TFB2Viewer::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (!updatingBars_) relayout_->start();
}

// --- painting ---

void TFB2Viewer::SetBackground(const QImage& picture) {
    background_ = picture;
    cache_ = QImage();
    viewport()->update();
}

bool TFB2Viewer::CacheStale() const {
    const int32_t clientW = viewport()->width(), clientH = viewport()->height();
    return cache_.isNull() || cacheX_ != scrollX_ || cache_.width() != clientW || clientH > cache_.height() ||
           scrollY_ < cacheY_ || scrollY_ + clientH > cacheY_ + cache_.height();
}

void TFB2Viewer::RenderCache() {
    const int32_t clientW = std::max(viewport()->width(), 1), clientH = std::max(viewport()->height(), 1);
    int32_t height = 3 * clientH;
    cacheX_ = scrollX_;
    cacheY_ = std::max(scrollY_ - clientH, 0);
    // With a background the cache starts at a multiple of the picture's height, so the tiles
    // stay in place while scrolling.
    if (!background_.isNull() && background_.height() > 0 && cacheY_ > 0) {
        const int32_t extension = cacheY_ % background_.height();
        cacheY_ -= extension;
        height += extension;
    }
    cache_ = QImage(clientW, height, QImage::Format_ARGB32_Premultiplied);
    cache_.fill(Qt::white);
    QPainter painter(&cache_);
    if (!background_.isNull()) painter.drawTiledPixmap(cache_.rect(), QPixmap::fromImage(background_));
    painter.setRenderHint(QPainter::TextAntialiasing);
    target_.SetPainter(&painter);
    try {
        layout_.Paint(*book_, target_, {0, 0, clientW, height}, {-cacheX_, -cacheY_});
    } catch (...) {
        target_.SetPainter(nullptr);
        throw;
    }
    target_.SetPainter(nullptr);
    ++renders_;
}

void TFB2Viewer::PaintRect(QPainter& painter, const QRect& clip) {
    try {
        if (CacheStale()) RenderCache();
        painter.drawImage(clip.topLeft(), cache_,
                          QRect(clip.left(), scrollY_ - cacheY_ + clip.top(), clip.width(), clip.height()));
    } catch (const std::exception&) {
        // Never out of a paint: show white, measure again once, and paint then.
        cache_ = QImage();
        painter.fillRect(clip, Qt::white);
        if (!failed_) {
            failed_ = true;
            layout_.Reset();
            QTimer::singleShot(0, this, [this] {
                Remeasure();
                viewport()->update();
            });
        }
    }
}

void TFB2Viewer::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    PaintRect(painter, event->rect());
    PaintFailure(painter);
}

void TFB2Viewer::PaintFailure(QPainter& painter) {
    if (failure_.isEmpty()) return;
    painter.setPen(QColor(0x80, 0, 0));
    painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     failure_);
}

QImage TFB2Viewer::RenderScreen() {
    QImage image(std::max(viewport()->width(), 1), std::max(viewport()->height(), 1),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintRect(painter, image.rect());
    PaintFailure(painter);
    return image;
}
