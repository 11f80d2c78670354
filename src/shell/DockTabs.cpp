#include "shell/DockTabs.h"

#include <QAction>
#include <QActionGroup>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QTabBar>
#include <QTimer>

#include "common/MessageIds.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"

namespace {

// Qt's own window for a floating group of tabbed panels.
bool IsFloatingGroup(const QWidget* widget) {
    return widget->inherits("QDockWidgetGroupWindow") && widget->isWindow();
}

}  // namespace

QTabWidget::TabPosition CheckedTabPosition(QAction* const (&items)[4], QTabWidget::TabPosition fallback) {
    // Bottom, then left, then right win over top, as the menu's order is read.
    if (items[1]->isChecked()) return QTabWidget::South;
    if (items[2]->isChecked()) return QTabWidget::West;
    if (items[3]->isChecked()) return QTabWidget::East;
    if (items[0]->isChecked()) return QTabWidget::North;
    return fallback;
}

TDockTabs::TDockTabs(QMainWindow* window, TSettingsStore& store) : QObject(window), window_(window) {
    menu_ = new QMenu(window);
    menu_->setObjectName("DockTabMenu");
    auto* group = new QActionGroup(menu_);
    const char* names[] = {"Top1", "Bottom1", "Left1", "Right1"};
    for (int i = 0; i < 4; ++i) {
        positions_[i] = menu_->addAction(QString());
        positions_[i]->setObjectName(names[i]);
        positions_[i]->setCheckable(true);
        group->addAction(positions_[i]);
        connect(positions_[i], &QAction::triggered, this, &TDockTabs::ApplyTabPosition);
    }
    positions_[1]->setChecked(true);  // Qt's groups have their tabs below
    menu_->addSeparator();
    multiline_ = menu_->addAction(QString());
    multiline_->setObjectName("MultilineItem1");
    multiline_->setCheckable(true);
    connect(multiline_, &QAction::triggered, this, &TDockTabs::ApplyTabPosition);

    placement_ = new TIniPlacement(window, store, "TTabDockHost", false);
    const char* stored[] = {"Top1_Checked", "Bottom1_Checked", "Left1_Checked", "Right1_Checked"};
    for (int i = 0; i < 4; ++i) {
        QAction* item = positions_[i];
        placement_->AddValue(
            stored[i], [item] { return std::string(item->isChecked() ? "True" : "False"); },
            [item](const std::string& text) {
                if (text == "True" || text == "true") item->setChecked(true);
            });
    }
    placement_->AddValue(
        "MultilineItem1_Checked", [this] { return std::string(multiline_->isChecked() ? "True" : "False"); },
        [this](const std::string& text) { multiline_->setChecked(text == "True" || text == "true"); });
    placement_->Restore();
    Recaption();
    ApplyTabPosition();
}

void TDockTabs::Recaption() {
    for (int i = 0; i < 4; ++i)
        positions_[i]->setText(Msg(rsTabsTop + i));
    multiline_->setText(Msg(rsMultilineTab));
    LayoutChanged();
}

void TDockTabs::Save() {
    placement_->Save();
}

void TDockTabs::ApplyTabPosition() {
    window_->setTabPosition(Qt::AllDockWidgetAreas, CheckedTabPosition(positions_, QTabWidget::South));
    LayoutChanged();
}

void TDockTabs::LayoutChanged() {
    // Qt rebuilds its groups after the event that changed them: look once things have settled.
    if (pending_) return;
    pending_ = true;
    QTimer::singleShot(0, this, &TDockTabs::Settle);
}

void TDockTabs::Settle() {
    pending_ = false;
    const bool several = multiline_->isChecked();
    QList<QTabBar*> bars = window_->findChildren<QTabBar*>();
    for (QWidget* top : window_->findChildren<QWidget*>())
        if (IsFloatingGroup(top)) bars += top->findChildren<QTabBar*>();
    for (QTabBar* bar : bars) {
        // Only the tab bars of panel groups: the main tab control's bar lives in a QTabWidget.
        if (qobject_cast<QTabWidget*>(bar->parentWidget())) continue;
        bar->removeEventFilter(this);
        bar->installEventFilter(this);
        // Qt's tab bar cannot wrap: several rows become all tabs shrunk to fit.
        bar->setUsesScrollButtons(!several);
        bar->setElideMode(several ? Qt::ElideRight : Qt::ElideNone);
    }
    for (QWidget* top : window_->findChildren<QWidget*>()) {
        if (!IsFloatingGroup(top)) continue;
        top->removeEventFilter(this);
        top->installEventFilter(this);  // Qt captions a group after its current tab: caption it again
        top->setWindowTitle(GroupCaption(top));
    }
}

QString TDockTabs::GroupCaption(QWidget* group) {
    QStringList captions;
    if (const QTabBar* bar = group->findChild<QTabBar*>()) {
        for (int i = 0; i < bar->count(); ++i)
            captions << bar->tabText(i);
    }
    if (captions.isEmpty())
        for (const QDockWidget* dock : group->findChildren<QDockWidget*>())
            if (!dock->isHidden()) captions << dock->windowTitle();
    return captions.join(", ");
}

bool TDockTabs::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && qobject_cast<QTabBar*>(watched)) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            menu_->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    if (event->type() == QEvent::WindowTitleChange && watched->isWidgetType() &&
        IsFloatingGroup(static_cast<QWidget*>(watched)))
        LayoutChanged();
    return QObject::eventFilter(watched, event);
}
