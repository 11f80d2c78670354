#pragma once

#include <QDialog>
#include <QStringList>
#include <vector>

#include "catalogue/PendingChoices.h"

class QLabel;
class QPushButton;
class QTableWidget;
class TIniPlacement;
class TLibrarySession;

// The author questions a scan, resync or import queued instead of asking: one row a question
// (book, the name it spells, the author chosen), decided row by row or for every row of the
// same name, applied as one change. Closing keeps the questions for later.
class TPendingChoicesForm final : public QDialog {
    Q_OBJECT

public:
    TPendingChoicesForm(QWidget* parent, TLibrarySession& session);
    ~TPendingChoicesForm() override;

    // The window over parent, not modal, gone when closed.
    static TPendingChoicesForm* Open(QWidget* parent, TLibrarySession& session);
    // The caption of a button that opens it: how many questions wait.
    static QString ButtonText(const TLibrarySession& session);

    // The rows of the session's queue as it is now.
    void Fill();
    int RowCount() const { return static_cast<int>(rows_.size()); }
    int Chosen(int row) const { return chosen_.at(static_cast<size_t>(row)); }
    // Candidate index (0 is the one the book lists now).
    void Choose(int row, int candidate);
    // Every row with the same name and the same candidate authors takes this row's author.
    void SameForName(int row);
    // The decisions into the catalogue; the decided rows leave the queue. Books changed.
    int Apply();
    // Every question dropped: the books keep the first candidate.
    void Dismiss();
    const QStringList& CandidateNames(int row) const { return names_.at(static_cast<size_t>(row)); }
    void Recaption();

    QLabel* HintLabel;
    QTableWidget* ChoicesGrid;
    QPushButton* SameNameBtn;
    QPushButton* ApplyBtn;
    QPushButton* DismissBtn;
    QPushButton* LaterBtn;

private:
    void ShowChoice(int row);

    TLibrarySession& session_;
    std::vector<TPendingChoice> rows_;
    std::vector<QStringList> names_;
    std::vector<int> chosen_;
    TIniPlacement* placement_;
};
