#include "shell/WorkSummaryForm.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/MessageIds.h"
#include "scan/FolderSync.h"
#include "settings/ui/QtText.h"
#include "shell/LibrarySession.h"
#include "shell/PendingChoicesForm.h"

TWorkSummaryForm::TWorkSummaryForm(QWidget* parent, TLibrarySession& session, const QStringList& lines,
                                   const QStringList& warnings)
    : QDialog(parent), session_(session) {
    setObjectName("WorkSummaryForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Msg(rsSummaryCaption));
    auto* layout = new QVBoxLayout(this);
    CountsLabel = new QLabel(lines.join("\n"), this);
    CountsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(CountsLabel);
    WarningsMemo = new QPlainTextEdit(warnings.join("\n"), this);
    WarningsMemo->setObjectName("WarningsMemo");
    WarningsMemo->setReadOnly(true);
    WarningsMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    WarningsMemo->setVisible(!warnings.isEmpty());
    layout->addWidget(WarningsMemo, 1);
    auto* row = new QHBoxLayout;
    CopyBtn = new QPushButton(Msg(rsCopy), this);
    CopyBtn->setVisible(!warnings.isEmpty());
    ChoicesBtn = new QPushButton(this);
    CloseBtn = new QPushButton(Msg(rsCloseWindow), this);
    CloseBtn->setDefault(true);
    row->addWidget(CopyBtn);
    row->addStretch(1);
    row->addWidget(ChoicesBtn);
    row->addWidget(CloseBtn);
    layout->addLayout(row);
    connect(CopyBtn, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(WarningsMemo->toPlainText()); });
    connect(ChoicesBtn, &QPushButton::clicked, this, [this] {
        TPendingChoicesForm::Open(parentWidget(), session_);
        close();
    });
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::close);
    connect(&session_, &TLibrarySession::PendingChoicesChanged, this, &TWorkSummaryForm::UpdateChoices);
    UpdateChoices();
    resize(warnings.isEmpty() ? 460 : 720, warnings.isEmpty() ? 140 : 420);
}

void TWorkSummaryForm::UpdateChoices() {
    ChoicesBtn->setText(TPendingChoicesForm::ButtonText(session_));
    ChoicesBtn->setVisible(session_.PendingChoices().Count() > 0);
}

QStringList TWorkSummaryForm::RunLines(const TSyncStats& stats) {
    QStringList lines;
    lines << MsgWith(rsSummaryCounts, {std::to_string(stats.Added), std::to_string(stats.Refreshed),
                                       std::to_string(stats.Recovered), std::to_string(stats.Lost)});
    if (!stats.Warnings.empty()) lines << MsgWith(rsSummaryWarnings, {std::to_string(stats.Warnings.size())});
    if (stats.Cancelled) lines << Msg(rsSummaryStopped);
    return lines;
}

TWorkSummaryForm* TWorkSummaryForm::ShowRun(QWidget* parent, TLibrarySession& session, const TSyncStats& stats) {
    QStringList warnings;
    for (const std::string& path : stats.Offline)
        warnings << MsgWith(rsMountPointOffline, {Utf8ToAnsi(path)});
    for (const std::string& w : stats.Warnings)
        warnings << QString::fromStdString(w);
    if (!stats.Fatal.empty()) warnings << QString::fromStdString(stats.Fatal);
    auto* form = new TWorkSummaryForm(parent, session, RunLines(stats), warnings);
    form->show();
    return form;
}
