#include "shell/CommandTable.h"

#include <QAction>
#include <QWidget>

#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"

TCommandTable::TCommandTable(QWidget* owner) : QObject(owner), owner_(owner) {}

QAction* TCommandTable::Add(const std::string& name, int caption, std::function<void()> run, QKeySequence shortcut,
                            std::function<bool()> enabled, const QString& suffix) {
    auto* action = new QAction(owner_);
    action->setObjectName(QString::fromStdString(name));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    commands_.push_back({name, caption, suffix, std::move(run), std::move(enabled), action});
    const size_t index = commands_.size() - 1;
    connect(action, &QAction::triggered, this, [this, index] { Execute(commands_[index]); });
    if (caption) action->setText(Msg(caption) + suffix);
    return action;
}

QAction* TCommandTable::Action(const std::string& name) const {
    for (const TCommand& command : commands_)
        if (command.Name == name) return command.Action;
    return nullptr;
}

void TCommandTable::Recaption() {
    for (const TCommand& command : commands_)
        if (command.Caption) command.Action->setText(Msg(command.Caption) + command.Suffix);
}

void TCommandTable::UpdateEnabled() {
    for (const TCommand& command : commands_)
        if (command.Enabled) command.Action->setEnabled(command.Enabled());
}

bool TCommandTable::Run(const std::string& name) {
    for (const TCommand& command : commands_) {
        if (command.Name != name) continue;
        if (command.Enabled && !command.Enabled()) return false;
        Execute(command);
        return true;
    }
    return false;
}

void TCommandTable::Execute(const TCommand& command) {
    Dialogs::Guard(owner_, command.Work);
}
