#pragma once

#include <QKeySequence>
#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QWidget;

// The commands of one window: each with its name, caption (a message id), shortcut, a test of
// whether it may run now, and its work. A language change re-captions them all; every command
// runs through one guard, so an error ends in the program's message box and never leaves the
// event handler.
class TCommandTable final : public QObject {
    Q_OBJECT

public:
    // owner: the window whose shortcuts they are and over which errors are shown.
    explicit TCommandTable(QWidget* owner);

    // caption 0: no text (a tool button with a tool tip sets it there). suffix follows the
    // caption ("..." for a command that asks first).
    QAction* Add(const std::string& name, int caption, std::function<void()> run, QKeySequence shortcut = {},
                 std::function<bool()> enabled = {}, const QString& suffix = {});
    // The named command's action, or none.
    QAction* Action(const std::string& name) const;
    void Recaption();
    // Sets every command's enabled state from its test.
    void UpdateEnabled();
    // Runs the named command as a trigger would (when enabled); false when it did not run.
    bool Run(const std::string& name);

private:
    struct TCommand {
        std::string Name;
        int Caption;
        QString Suffix;
        std::function<void()> Work;
        std::function<bool()> Enabled;
        QAction* Action;
    };
    void Execute(const TCommand& command);

    QWidget* owner_;
    std::vector<TCommand> commands_;
};
