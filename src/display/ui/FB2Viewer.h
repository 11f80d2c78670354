#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>

#include "display/FB2Layout.h"
#include "display/SmoothScroll.h"
#include "display/ui/QtDrawTarget.h"
#include "fb2/FBParser.h"

class QPainter;
class QTimer;

enum class TViewerScrolls { None, Both, Horizontal, Vertical, Auto };

// An FB2 book as formatted text with pictures. Keeps three screens of the rendered book so that
// small scrolls only copy pixels, tiles an optional background behind the text, and scrolls
// smoothly (an easing step every 15 ms) when TimedScroll is on. The page stays white on a dark
// desktop theme, since books are black text.
class TFB2Viewer final : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int32_t kLineStep = 15;

    explicit TFB2Viewer(QWidget* parent = nullptr);
    ~TFB2Viewer() override;

    TFictionBook& Book() { return *book_; }
    // Loads a book (description, body and pictures); false (and an empty view) when it could
    // not be read, the reason then in Book().FailureText().
    bool LoadDocument(const uint8_t* bytes, size_t length);
    // Reads a book as LoadDocument does, touching no window: for another thread, whose result
    // SetDocument shows.
    static std::shared_ptr<TFictionBook> ParseDocument(const uint8_t* bytes, size_t length, bool& loaded);
    // Shows a book ParseDocument read; loaded false: the view empty, the reason kept in Book().Text.
    bool SetDocument(std::shared_ptr<TFictionBook> book, bool loaded);
    // Why the last book could not be shown (written on the empty page); empty after a load.
    const QString& Failure() const { return failure_; }
    void ClearDocument();
    // After every load: back to the top, measured again, repainted.
    void DocumentChanged();
    // Measures the book for the current client size.
    void Remeasure();
    void UpdateScrollBars();

    int32_t DocumentWidth() const { return book_->Width - 4; }
    int32_t DocumentHeight() const { return book_->Height + 15; }
    int32_t ScrollX() const { return scrollX_; }
    int32_t ScrollY() const { return scrollY_; }
    int32_t PendingY() const { return scroll_.PendingY; }

    // Scrolls at once (limited to the document).
    void ScrollBy(int32_t dx, int32_t dy);
    // Scrolls smoothly when TimedScroll is on, else at once.
    void ScrollRequest(int32_t dx, int32_t dy);
    // One tick of the smooth scroll; false when nothing was pending.
    bool ScrollStep();
    bool TimedScroll() const { return timer_ != nullptr; }
    void SetTimedScroll(bool on);
    bool Tracking = true;
    TViewerScrolls ScrollBars = TViewerScrolls::Auto;

    void SetBackground(const QImage& picture);
    // The current screen as the view shows it (the same painting path), for pictures of pages.
    QImage RenderScreen();
    // How often the book was painted into the cache, and measured.
    int CacheRenders() const { return renders_; }
    int Measures() const { return measures_; }
    int32_t CacheTop() const { return cacheY_; }
    int32_t CacheHeight() const { return cache_.height(); }
    // Called after every load.
    std::function<void()> Onchange;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void PaintRect(QPainter& painter, const QRect& clip);
    void RenderCache();
    bool CacheStale() const;
    void VerticalAction(int action);
    void HorizontalAction(int action);
    int32_t PageStep() const;

    std::shared_ptr<TFictionBook> book_ = std::make_shared<TFictionBook>();
    TBookLayout layout_;
    TQtDrawTarget target_;
    int32_t scrollX_ = 0, scrollY_ = 0;
    TSmoothScroll scroll_;
    int wheelRemainder_ = 0;
    QTimer* timer_ = nullptr;
    QTimer* relayout_;
    QImage background_;
    QImage cache_;
    int32_t cacheX_ = 0, cacheY_ = 0;
    bool updatingBars_ = false;
    void PaintFailure(QPainter& painter);
    bool failed_ = false;
    QString failure_;
    int renders_ = 0;
    int measures_ = 0;
};
