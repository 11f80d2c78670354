#include "shell/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <exception>

#include "common/MessageIds.h"
#include "settings/ui/QtText.h"

namespace Dialogs {

TScript& Script() {
    static TScript script;
    return script;
}

TAnswer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) {
    return AskYesNoCancel(parent, caption, text, {}, {});
}

TAnswer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text, const QString& yesText,
                       const QString& noText) {
    TScript& s = Script();
    s.Shown << text;
    if (!s.Answers.empty()) {
        const TAnswer answer = s.Answers.front();
        s.Answers.pop_front();
        return answer;
    }
    if (s.Active) return TAnswer::Cancel;
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    parent);
    // Buttons named for what they do make Cancel the safe default; plain Yes/No keep Yes.
    if (!yesText.isEmpty()) box.button(QMessageBox::Yes)->setText(yesText);
    if (!noText.isEmpty()) box.button(QMessageBox::No)->setText(noText);
    box.setDefaultButton(yesText.isEmpty() ? QMessageBox::Yes : QMessageBox::Cancel);
    const int button = box.exec();
    return button == QMessageBox::Yes ? TAnswer::Yes : button == QMessageBox::No ? TAnswer::No : TAnswer::Cancel;
}

TAnswer AskYesNoRemember(QWidget* parent, const QString& caption, const QString& text, bool& remember) {
    TScript& s = Script();
    s.Shown << text;
    remember = false;
    if (!s.Answers.empty()) {
        const TAnswer answer = s.Answers.front();
        s.Answers.pop_front();
        remember = answer == TAnswer::Yes && s.Remember;
        return answer;
    }
    if (s.Active) return TAnswer::No;
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    auto* again = new QCheckBox(Msg(rsDoNotAskAgain), &box);
    box.setCheckBox(again);
    const bool yes = box.exec() == QMessageBox::Yes;
    remember = yes && again->isChecked();
    return yes ? TAnswer::Yes : TAnswer::No;
}

void Error(QWidget* parent, const QString& text) {
    Script().Shown << text;
    if (Script().Active) return;
    QApplication::beep();
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), text);
}

void ErrorLater(QWidget* parent, const QString& text) {
    QPointer<QWidget> guard = parent;
    QTimer::singleShot(0, qApp, [guard, text] { Error(guard.data(), text); });
}

void Information(QWidget* parent, const QString& caption, const QString& text) {
    Script().Shown << text;
    if (Script().Active) return;
    QMessageBox::information(parent, caption, text);
}

namespace {

bool Scripted(QString& name) {
    TScript& s = Script();
    if (!s.FileNames.empty()) {
        name = s.FileNames.front();
        s.FileNames.pop_front();
        return true;
    }
    if (s.Active) {
        name.clear();
        return true;
    }
    return false;
}

}  // namespace

QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) {
    QString name;
    if (Scripted(name)) return name;
    return QFileDialog::getOpenFileName(parent, title, {}, filter, nullptr, QFileDialog::ReadOnly);
}

QString SaveFileName(QWidget* parent, const QString& title, const QString& filter) {
    QString name;
    if (Scripted(name)) return name;
    return QFileDialog::getSaveFileName(parent, title, {}, filter);
}

QString DirectoryName(QWidget* parent, const QString& title) {
    QString name;
    if (Scripted(name)) return name;
    return QFileDialog::getExistingDirectory(parent, title, {}, QFileDialog::ShowDirsOnly);
}

}  // namespace Dialogs

void Dialogs::Guard(QWidget* parent, const std::function<void()>& work) noexcept {
    try {
        work();
    } catch (const std::exception& e) {
        ErrorLater(parent, ToQ(e.what()));
    } catch (...) {
        ErrorLater(parent, Msg(rsUnknownError));
    }
}
