#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The first start's question: open a library file, make a new library on a folder of books,
// look around in a demo library, or begin with an empty library.
class TFirstStartForm final : public QDialog {
    Q_OBJECT

public:
    enum TChoice { Empty = 0, Open = 1, NewOnFolder = 2, Demo = 3 };

    explicit TFirstStartForm(QWidget* parent = nullptr);
    TChoice Choice() const { return choice_; }

    QLabel* TextLabel;
    QPushButton* OpenBtn;
    QPushButton* NewBtn;
    QPushButton* DemoBtn;
    QPushButton* EmptyBtn;

private:
    TChoice choice_ = Empty;
};
