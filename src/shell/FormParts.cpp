#include "shell/FormParts.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

#include "settings/ui/IniPlacement.h"

void AddOkCancelRow(QDialog* dialog, QBoxLayout* layout, QPushButton*& ok, QPushButton*& cancel) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ok = new QPushButton(dialog);
    cancel = new QPushButton(dialog);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}

void SavePlacementQuietly(TIniPlacement* placement) noexcept {
    placement->SaveQuietly();
}
