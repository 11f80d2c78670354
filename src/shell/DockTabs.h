#pragma once

#include <QObject>
#include <QTabWidget>

class QAction;
class QMainWindow;
class QMenu;
class QTabBar;
class TIniPlacement;
class TSettingsStore;

// The tab position the checked item of a top, bottom, left, right menu group names.
QTabWidget::TabPosition CheckedTabPosition(QAction* const (&items)[4], QTabWidget::TabPosition fallback);

// What a main window adds to Qt's docking: a right click on the tabs of a group of panels opens
// the tab-position menu (kept for all groups), and a floating group is captioned with the
// captions of its panels joined by ", ".
class TDockTabs final : public QObject {
    Q_OBJECT

public:
    TDockTabs(QMainWindow* window, TSettingsStore& store);

    // Finds new tab bars and recaptions floating groups once the layout has settled.
    void LayoutChanged();
    void ApplyTabPosition();
    void Recaption();
    // Writes the menu's checks; raises the store's error.
    void Save();
    QMenu* Menu() const { return menu_; }
    // The caption of a floating group: its panels' captions, in tab order.
    static QString GroupCaption(QWidget* group);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Settle();

    QMainWindow* window_;
    QMenu* menu_;
    QAction* positions_[4];
    QAction* multiline_;
    TIniPlacement* placement_;
    bool pending_ = false;
};
