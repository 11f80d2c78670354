#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

class QWidget;

// Every message box and file dialog of the program goes through here, so that tests can give
// the answers in advance ("next answer" seams) instead of a person.
namespace Dialogs {

enum class TAnswer { Yes, No, Cancel, Ok };

// Yes / No / Cancel, always modal to the whole program.
TAnswer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text);
// The same with the first two buttons named for what they do (empty: Yes, No); Cancel is the
// default then.
TAnswer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text, const QString& yesText,
                       const QString& noText);
void Error(QWidget* parent, const QString& text);
// The same box once the event loop runs again: for handlers in the middle of a paint or a drag.
void ErrorLater(QWidget* parent, const QString& text);
void Information(QWidget* parent, const QString& caption, const QString& text);
// Empty when cancelled. filter in Qt's form ("Name (*.sv2 *.svd);;...").
QString OpenFileName(QWidget* parent, const QString& title, const QString& filter);
QString SaveFileName(QWidget* parent, const QString& title, const QString& filter);
// A disk folder; empty when cancelled.
QString DirectoryName(QWidget* parent, const QString& title);

// Yes or No, with a "do not ask again" box; remember receives the box's state (false on No).
TAnswer AskYesNoRemember(QWidget* parent, const QString& caption, const QString& text, bool& remember);

// Runs work; an error it raises is shown over parent once the event loop runs again, so that no
// exception leaves a Qt handler.
void Guard(QWidget* parent, const std::function<void()>& work) noexcept;

// Test seams: queued answers and file names are used before any dialog is shown; every
// question and message shown (or answered from the queue) is recorded.
struct TScript {
    std::deque<TAnswer> Answers;
    std::deque<QString> FileNames;
    QStringList Shown;
    bool Remember = false;  // the "do not ask again" box as a scripted answer leaves it
    bool Active = false;    // when set, an unanswered question is Cancel and no dialog opens
};
TScript& Script();

}  // namespace Dialogs
