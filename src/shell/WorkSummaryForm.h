#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;
struct TSyncStats;
class TLibrarySession;

// What a finished scan, resync, import or pack did: its counts, the warnings as a list that can
// be copied, and the way to the author questions it queued. Not modal; closes itself.
class TWorkSummaryForm final : public QDialog {
    Q_OBJECT

public:
    TWorkSummaryForm(QWidget* parent, TLibrarySession& session, const QStringList& lines, const QStringList& warnings);

    // The summary of a background run, shown over parent.
    static TWorkSummaryForm* ShowRun(QWidget* parent, TLibrarySession& session, const TSyncStats& stats);
    // The lines a run's summary shows first.
    static QStringList RunLines(const TSyncStats& stats);

    QLabel* CountsLabel;
    QPlainTextEdit* WarningsMemo;
    QPushButton* CopyBtn;
    QPushButton* ChoicesBtn;
    QPushButton* CloseBtn;

private:
    void UpdateChoices();

    TLibrarySession& session_;
};
