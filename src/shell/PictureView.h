#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>

// A picture centred in its widget and shrunk or stretched to it with its proportions kept.
class TPictureView final : public QWidget {
public:
    explicit TPictureView(QWidget* parent = nullptr) : QWidget(parent) {}
    const QImage& Picture() const { return picture_; }
    void SetPicture(const QImage& picture) {
        picture_ = picture;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (picture_.isNull()) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSize size = picture_.size().scaled(this->size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
        painter.drawImage(target, picture_);
    }

private:
    QImage picture_;
};
