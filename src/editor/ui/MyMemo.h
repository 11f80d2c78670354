#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QImage>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/SmoothScroll.h"
#include "display/ui/QtDrawTarget.h"
#include "editor/MemoText.h"

class QTimer;

enum class TMemoScrolls { None, Both, Horizontal, Vertical, Auto };

// The program's plain-text editor for engine text: draws its lines itself in one font (the
// advance table it measures with is the one it draws with), wraps words, marks hyperlinks,
// selects with mouse and keys, scrolls smoothly, and records every edit for undo. All edits
// go through Text(), so find and replace and the formatter work on the same model.
class TMyMemo final : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TMyMemo(QWidget* parent = nullptr);
    ~TMyMemo() override;

    TMemoText& Text() { return text_; }
    const TMemoText& Text() const { return text_; }
    TMemoStringList& Lines() { return text_.Lines; }

    bool ReadOnly() const { return text_.ReadOnly; }
    void SetReadOnly(bool on);
    bool HideCaret() const { return hideCaret_; }
    // No caret and no editing; also sets ReadOnly (clearing it leaves ReadOnly alone).
    void SetHideCaret(bool on);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    TMemoScrolls ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TMemoScrolls bars);
    int32_t InterLineSpacing() const { return interLineSpacing_; }
    void SetInterLineSpacing(int32_t pixels);
    bool TimedScroll() const { return timer_ != nullptr; }
    void SetTimedScroll(bool on);
    bool MarkHyperlinks() const { return markHyperlinks_; }
    void SetMarkHyperlinks(bool on);
    bool Overwrite() const { return text_.Overwrite; }
    void SetOverwrite(bool on);
    bool Tracking = true;       // the view follows a dragged scroll box
    bool MatchTopLine = false;  // a scroll ends with a whole line at the top
    // Raised after every change of the text.
    std::function<void()> Onchange;

    int32_t LineHeight() const { return lineHeight_; }
    int32_t ContentWidth() const { return maxWidth_ + 4; }
    int64_t ContentHeight() const { return text_.Lines.TotalRows() * lineHeight_; }
    int32_t ScrollX() const { return scrollX_; }
    int32_t ScrollY() const { return scrollY_; }
    const TAdvances& Advances() const { return adv_; }
    // The rows of a line as their start columns (one entry without word wrap).
    const std::vector<int32_t>& RowStarts(int32_t line) const;

    // The place under a point of the view (client coordinates); rowStart tells whether a place
    // on the boundary of two wrapped rows belongs to the later one.
    TTextPos PositionAt(QPoint client, bool* rowStart = nullptr) const;
    // The top-left of the caret's cell for a place, in client coordinates.
    QPoint PointOf(TTextPos pos, bool rowStart) const;
    QRect CaretRect() const;
    bool RowFlag() const { return rowFlag_; }
    // The blink timer's interval in ms; 0 while the caret does not blink.
    int BlinkInterval() const;

    // The caret to a place (clamped); with extend, the selection grows from its anchor (or the
    // old caret) to it. Scrolls it into view.
    void MoveCaret(TTextPos pos, bool rowStart, bool extend);
    void SelectWord(TTextPos pos);
    void SelectSentence(TTextPos pos);
    bool IsHyperlinkAt(QPoint client) const;
    void SelectAll();
    // After the caret or the selection was moved through Text() directly: shown and scrolled to.
    void CaretMoved();
    void Copy();
    void Cut();
    void Paste();
    void Undo();
    void Redo();
    void Clear();

    void Remeasure();
    void UpdateScrollBars();
    void ScrollBy(int32_t dx, int32_t dy, bool snap);
    // Scrolls smoothly when TimedScroll is on, else at once.
    void ScrollRequest(int32_t dx, int32_t dy, bool snap);
    // One tick of the smooth scroll; false when nothing was pending.
    bool ScrollStep();
    void ScrollIntoView();
    // The view as it is painted, for pictures and benchmarks.
    QImage RenderScreen();
    // How many lines were measured since the last call (a cost the benchmarks watch).
    int64_t TakeMeasuredLines();

signals:
    void changed();
    // An error of an edit or a paint, to show to the user (queued).
    void failed(const QString& text);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int, int) override {}
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

private:
    struct TRowSpot {
        int32_t Line = 0;
        int32_t Row = 0;       // within the line
        int64_t FirstRow = 0;  // of the line, in the whole text
    };

    void FontChanged();
    void MeasureLine(int32_t line);
    int32_t RowEnd(const std::string& text, int32_t start) const;
    int64_t FirstRowOf(int32_t line) const;
    TRowSpot SpotOfRow(int64_t row) const;
    void Reset();
    void Edited();
    void PaintRow(QPainter& painter, const QRect& clip, int32_t line, int32_t from, int32_t to, int32_t y);
    void ResetBlink();
    void UpdateCaret();
    void HandlePress(QMouseEvent* event);
    void DragTo(QPoint client);
    void KeyMove(QKeyEvent* event);
    void ScrollKey(int key);
    void TypeText(const QString& text);
    void VerticalAction(int action);
    void HorizontalAction(int action);
    int32_t PageRows() const;
    int32_t ClientWidth() const;
    int32_t ClientHeight() const;
    void Safely(const std::function<void()>& work);
    // One smooth-scroll step now and the timer for the rest, unless the timer already runs.
    void StartSmoothScroll();

    TMemoText text_;
    TQtDrawTarget target_;
    int32_t font_ = 0, linkFont_ = 0;
    TAdvances adv_{};
    int32_t lineHeight_ = 16;
    int32_t maxWidth_ = 0;
    int32_t wrapWidth_ = 0;
    int32_t scrollX_ = 0, scrollY_ = 0;
    TSmoothScroll scroll_;
    bool snapPending_ = false;
    int wheelRemainder_ = 0;
    bool rowFlag_ = true;
    bool hideCaret_ = false;
    bool wordWrap_ = false;
    bool markHyperlinks_ = true;
    TMemoScrolls scrollBars_ = TMemoScrolls::Auto;
    int32_t interLineSpacing_ = 0;
    bool caretOn_ = true;
    bool updatingBars_ = false;
    bool dragging_ = false;
    QPoint lastPress_{-1000, -1000};
    QPoint dragPoint_;
    std::array<qint64, 4> pressTimes_{};
    QElapsedTimer clock_;
    QTimer* timer_ = nullptr;  // smooth scroll
    QTimer* blink_ = nullptr;
    QTimer* autoScroll_ = nullptr;
    mutable TRowSpot spotCache_;
    mutable bool spotCacheValid_ = false;
    mutable int32_t rowsLine_ = -1;  // the line whose row starts rows_ holds
    mutable std::vector<int32_t> rows_;
    int64_t measured_ = 0;
};
