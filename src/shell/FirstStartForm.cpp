#include "shell/FirstStartForm.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "common/MessageIds.h"
#include "settings/ui/QtText.h"

TFirstStartForm::TFirstStartForm(QWidget* parent) : QDialog(parent) {
    setObjectName("FirstStartForm");
    setWindowTitle(Msg(rsFirstCaption));
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    TextLabel = new QLabel(Msg(rsFirstText), this);
    QFont font = TextLabel->font();
    font.setPointSizeF(font.pointSizeF() * 1.2);
    TextLabel->setFont(font);
    layout->addWidget(TextLabel);
    auto add = [&](int caption, QStyle::StandardPixmap icon, TChoice choice) {
        auto* button = new QPushButton(QApplication::style()->standardIcon(icon), Msg(caption), this);
        button->setMinimumHeight(40);
        button->setStyleSheet("text-align: left; padding-left: 12px;");
        layout->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, choice] {
            choice_ = choice;
            accept();
        });
        return button;
    };
    NewBtn = add(rsFirstNew, QStyle::SP_DirIcon, NewOnFolder);
    OpenBtn = add(rsFirstOpen, QStyle::SP_DialogOpenButton, Open);
    DemoBtn = add(rsFirstDemo, QStyle::SP_FileDialogContentsView, Demo);
    EmptyBtn = add(rsFirstLater, QStyle::SP_FileIcon, Empty);
    NewBtn->setDefault(true);
    setMinimumWidth(440);
}
