#include "shell/DockableForm.h"

#include <QCloseEvent>
#include <QMainWindow>
#include <QTimer>
#include <algorithm>

#include "common/Error.h"
#include "common/MessageIds.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"
#include "shell/FormParts.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

namespace {
constexpr int kMinimumDelayMs = 20;
}

TDockableForm::TDockableForm(QMainWindow* mainWindow, TLibrarySession& session, TBookSelection* selection, int index,
                             const char* section)
    : QDockWidget(mainWindow),
      session_(session),
      selection_(selection),
      mainWindow_(mainWindow),
      index_(index),
      standalone_(mainWindow == nullptr) {
    // Where the panel is belongs to its main window's layout; the panel keeps only its values.
    Placement = new TIniPlacement(this, session_.Options().Store(), section, false);
    setAttribute(Qt::WA_DeleteOnClose);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    RepaintTimer = new QTimer(this);
    RepaintTimer->setSingleShot(true);
    connect(RepaintTimer, &QTimer::timeout, this, &TDockableForm::RefreshNow);
    // A panel on a tab that comes to the front catches up with what it missed while hidden.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && pending_) QTimer::singleShot(0, this, &TDockableForm::RefreshNow);
    });
    connect(&session_.Options(), &TOptions::changed, this, [this] { SettingsChanged(); });
    connect(&session_.Options(), &TOptions::languageChanged, this, [this] { Recaption(); });
}

TDockableForm::~TDockableForm() {
    destroying_ = true;
    SavePlacementQuietly(Placement);
}

bool TDockableForm::Closing() const {
    if (standalone_) return destroying_;
    return destroying_ || detached_ || !mainWindow_;
}

void TDockableForm::Detach() {
    detached_ = true;
}

void TDockableForm::RequestRefresh(int argument) {
    if (argument != 0) RaiseError(rsErrUnknownEvent);
    if (Closing()) return;
    if (session_.Options().TimerDelay()) {
        // A burst of requests ends in one refresh.
        RepaintTimer->stop();
        RepaintTimer->setInterval(std::max(session_.Options().TimerDelayValue(), kMinimumDelayMs));
        RepaintTimer->start();
    } else {
        RefreshNow();
    }
}

bool TDockableForm::EffectivelyVisible() const {
    return isVisible() && !visibleRegion().isEmpty();
}

void TDockableForm::RefreshNow() {
    RepaintTimer->stop();
    if (Closing()) return;
    if (!EffectivelyVisible()) {
        pending_ = true;
        return;
    }
    pending_ = false;
    Dialogs::Guard(this, [this] { Refresh(); });
}

bool TDockableForm::RefreshDue() const {
    return RepaintTimer->isActive();
}

bool TDockableForm::SavePendingEdits(QString&) {
    return true;
}

void TDockableForm::closeEvent(QCloseEvent* event) {
    QString error;
    if (!SavePendingEdits(error)) {
        Dialogs::Error(this, error);
        event->ignore();
        return;
    }
    event->accept();
}
