#pragma once

#include <QDockWidget>
#include <QMainWindow>
#include <QPointer>
#include <QString>

class QTimer;
class TBookSelection;
class TIniPlacement;
class TLibrarySession;

// A book panel of a main window: docks at the window's right or bottom, in a tabbed group with
// other panels, or floats. Refresh requests are debounced by the delay option and held back
// while the panel cannot be seen; it refreshes when it becomes visible again.
class TDockableForm : public QDockWidget {
    Q_OBJECT

public:
    // index: the panel's slot in its main window (0 book list, 1 short information, 2 book
    // information, 3 preview).
    // section: where the panel keeps its state in the settings (saved when it goes).
    // mainWindow and selection may be null for a panel that lives in a window of its own.
    TDockableForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection* selection, int index,
                  const char* section);
    ~TDockableForm() override;

    int Index() const { return index_; }
    QMainWindow* MainWindow() const { return mainWindow_.data(); }
    // Its own destruction has begun, or its main window is closing.
    bool Closing() const;
    // Forgets the main window (the window is closing or going away first).
    void Detach();

    // The selection the panel shows has changed. Only argument 0 exists; any other raises
    // rsErrUnknownEvent.
    void RequestRefresh(int argument);
    // Visible on screen: shown, and not on a hidden tab or page.
    bool EffectivelyVisible() const;
    // Writes edits the panel holds; false (the message in error) when they could not be kept.
    virtual bool SavePendingEdits(QString& error);
    // Refreshes now (a visible panel) or when it next becomes visible.
    void RefreshNow();
    // A requested refresh waits for its delay.
    bool RefreshDue() const;
    // A refresh waits for its delay or for the panel to be seen.
    bool RefreshPending() const { return RefreshDue() || pending_; }

    virtual void Recaption() = 0;
    virtual void SettingsChanged() {}
    // Lets go of every book before the catalogue is replaced.
    virtual void DropBooks() {}

protected:
    // Rebuilds what the panel shows from its main window's selection.
    virtual void Refresh() = 0;
    void closeEvent(QCloseEvent* event) override;
    TLibrarySession& session_;
    TBookSelection* selection_;  // none for a panel of its own
    QTimer* RepaintTimer;
    TIniPlacement* Placement;

private:
    QPointer<QMainWindow> mainWindow_;
    bool detached_ = false;
    int index_;
    bool standalone_;  // made without a main window (a book opened alone)
    bool destroying_ = false;
    bool pending_ = false;
};
