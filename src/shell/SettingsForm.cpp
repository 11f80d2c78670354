#include "shell/SettingsForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "catalogue/SVD.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "settings/LanguageFiles.h"
#include "settings/ui/QtText.h"
#include "shell/Dialogs.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

TSVMainForm::TSVMainForm(TOptions& options, TLibrarySession& session, QWidget* parent)
    : QDialog(parent), options_(options), session_(session) {
    setObjectName("SVMainForm");
    BuildControls();
    ShowOptions();
    Recaption();
}

void TSVMainForm::BuildControls() {
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    pages_ = new QTabWidget(this);
    layout->addWidget(pages_);

    auto* page1 = new QWidget;
    auto* l1 = new QVBoxLayout(page1);
    auto* delayRow = new QHBoxLayout;
    TimerDelayCheck = new QCheckBox(page1);
    TimerDelayCheck->setChecked(true);
    TimerDelaySpin = new QSpinBox(page1);
    TimerDelaySpin->setRange(20, 10000);
    TimerDelaySpin->setValue(50);
    delayUnit_ = new QLabel(page1);
    delayRow->addWidget(TimerDelayCheck);
    delayRow->addWidget(TimerDelaySpin);
    delayRow->addWidget(delayUnit_);
    delayRow->addStretch(1);
    l1->addLayout(delayRow);
    StripedGridsCheck = new QCheckBox(page1);
    StripedGridsCheck->setChecked(true);
    HuffmanCheck = new QCheckBox(page1);
    SaveDupCheck = new QCheckBox(page1);
    CanEditCheck = new QCheckBox(page1);
    for (QCheckBox* box : {StripedGridsCheck, HuffmanCheck, SaveDupCheck, CanEditCheck})
        l1->addWidget(box);
    autosaveGroup_ = new QGroupBox(page1);
    auto* ag = new QVBoxLayout(autosaveGroup_);
    AutosaveCheck = new QCheckBox(autosaveGroup_);
    auto* everyRow = new QHBoxLayout;
    AutosaveEveryCheck = new QCheckBox(autosaveGroup_);
    AutosaveSpin = new QSpinBox(autosaveGroup_);
    AutosaveSpin->setRange(1, 10000);
    AutosaveSpin->setValue(30);
    minutes_ = new QLabel(autosaveGroup_);
    everyRow->addWidget(AutosaveEveryCheck);
    everyRow->addWidget(AutosaveSpin);
    everyRow->addWidget(minutes_);
    everyRow->addStretch(1);
    ag->addWidget(AutosaveCheck);
    ag->addLayout(everyRow);
    l1->addWidget(autosaveGroup_);
    l1->addStretch(1);

    auto* page2 = new QWidget;
    auto* l2 = new QVBoxLayout(page2);
    langLabel_ = new QLabel(page2);
    LangsCombo = new QComboBox(page2);
    l2->addWidget(langLabel_);
    l2->addWidget(LangsCombo);
    l2->addStretch(1);

    auto* page3 = new QWidget;
    auto* l3 = new QVBoxLayout(page3);
    SweepCheckBox = new QCheckBox(page3);
    sweepButton_ = new QPushButton(page3);
    l3->addWidget(SweepCheckBox);
    l3->addWidget(sweepButton_);
    l3->addStretch(1);

    pages_->addTab(page1, QString());
    pages_->addTab(page2, QString());
    pages_->addTab(page3, QString());

    closeButton_ = new QPushButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton_);
    layout->addLayout(buttons);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

    connect(TimerDelayCheck, &QCheckBox::toggled, &options_, &TOptions::SetTimerDelay);
    connect(TimerDelaySpin, &QSpinBox::valueChanged, &options_, &TOptions::SetTimerDelayValue);
    connect(StripedGridsCheck, &QCheckBox::toggled, &options_, &TOptions::SetStripedGrids);
    connect(HuffmanCheck, &QCheckBox::toggled, &options_, &TOptions::SetSaveHuffman);
    connect(SaveDupCheck, &QCheckBox::toggled, &options_, &TOptions::SetSaveDuplicates);
    connect(CanEditCheck, &QCheckBox::toggled, &options_, &TOptions::SetCanEdit);
    connect(AutosaveCheck, &QCheckBox::toggled, &options_, &TOptions::SetAutosaveOnExit);
    connect(AutosaveEveryCheck, &QCheckBox::toggled, &options_, &TOptions::SetAutosaveEvery);
    connect(AutosaveSpin, &QSpinBox::valueChanged, &options_, &TOptions::SetAutosavePeriod);
    connect(SweepCheckBox, &QCheckBox::toggled, &options_, &TOptions::SetSweepBeforeSave);
    connect(&options_, &TOptions::changed, this, &TSVMainForm::ShowOptions);
    connect(&options_, &TOptions::languageChanged, this, &TSVMainForm::Recaption);
    connect(LangsCombo, &QComboBox::currentIndexChanged, this, [this](int item) {
        if (filling_ || item < 0) return;
        try {
            options_.ChooseLanguage(LangsCombo->itemData(item).toInt());
        } catch (const EShelvaraError& e) {
            Dialogs::Error(this, ToQ(e.what()));
        }
    });
    connect(sweepButton_, &QPushButton::clicked, this, &TSVMainForm::ShowSweepMenu);
}

void TSVMainForm::Recaption() {
    setWindowTitle(Msg(rsPrefsCaption));
    pages_->setTabText(0, Msg(rsPrefsTab1));
    pages_->setTabText(1, Msg(rsPrefsTab2));
    pages_->setTabText(2, Msg(rsPrefsTab3));
    TimerDelayCheck->setText(Msg(rsTimerDelay));
    delayUnit_->setText(Msg(rsTimerDelayValue));
    StripedGridsCheck->setText(Msg(rsStripedGrids));
    HuffmanCheck->setText(Msg(rsSaveHuffman));
    SaveDupCheck->setText(Msg(rsSaveDup));
    CanEditCheck->setText(Msg(rsCanEdit));
    autosaveGroup_->setTitle(Msg(rsAutoSave));
    AutosaveCheck->setText(Msg(rsAutoSaveOnExit));
    AutosaveEveryCheck->setText(Msg(rsEvery));
    minutes_->setText(Msg(rsMinute));
    SweepCheckBox->setText(Msg(rsSweepDB));
    sweepButton_->setText(Msg(rsSweepNow));
    langLabel_->setText(Msg(rsInterfaceLang));
    closeButton_->setText(Msg(rsOk));
}

void TSVMainForm::ShowSweepMenu() {
    struct TItem {
        int Caption;
        unsigned Flags;
    };
    QMenu menu(this);
    menu.addAction(Msg(rsSweepAll), this, [this] { session_.SweepNow(kSweepAll, this); });
    QMenu* unused = menu.addMenu(Msg(rsSweepUnused));
    const TItem items[] = {{rsSweepUnusedAll, kSweepAuthors | kSweepGenres | kSweepSeries | kSweepLostBooks},
                           {rsSweepUnusedAuthors, kSweepAuthors},
                           {rsSweepUnusedGenres, kSweepGenres},
                           {rsSweepUnusedSeq, kSweepSeries},
                           {rsSweepUnusedLost, kSweepLostBooks}};
    for (const TItem& item : items)
        unused->addAction(Msg(item.Caption), this, [this, flags = item.Flags] { session_.SweepNow(flags, this); });
    QMenu* join = menu.addMenu(Msg(rsJoin));
    const TItem joins[] = {{rsJoinAll, kJoinSameAuthors | kJoinSameGenres | kJoinSameSeries},
                           {rsJoinSameAuthors, kJoinSameAuthors},
                           {rsJoinSameGenres, kJoinSameGenres},
                           {rsJoinSameSeq, kJoinSameSeries}};
    for (const TItem& item : joins)
        join->addAction(Msg(item.Caption), this, [this, flags = item.Flags] { session_.SweepNow(flags, this); });
    menu.exec(sweepButton_->mapToGlobal(QPoint(0, sweepButton_->height())));
}

void TSVMainForm::ShowOptions() {
    const QSignalBlocker b1(TimerDelayCheck), b2(TimerDelaySpin), b3(StripedGridsCheck), b4(HuffmanCheck),
        b5(SaveDupCheck), b6(CanEditCheck), b7(AutosaveCheck), b8(AutosaveEveryCheck), b9(AutosaveSpin),
        b10(SweepCheckBox);
    TimerDelayCheck->setChecked(options_.TimerDelay());
    TimerDelaySpin->setValue(options_.TimerDelayValue());
    StripedGridsCheck->setChecked(options_.StripedGrids());
    HuffmanCheck->setChecked(options_.SaveHuffman());
    SaveDupCheck->setChecked(options_.SaveDuplicates());
    CanEditCheck->setChecked(options_.CanEdit());
    AutosaveCheck->setChecked(options_.AutosaveOnExit());
    AutosaveEveryCheck->setChecked(options_.AutosaveEvery());
    AutosaveSpin->setValue(options_.AutosavePeriod());
    SweepCheckBox->setChecked(options_.SweepBeforeSave());
}

void TSVMainForm::showEvent(QShowEvent* event) {
    FillLanguages();
    ShowOptions();
    QDialog::showEvent(event);
}

void TSVMainForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    try {
        if (session_.HasFile()) options_.SetLastLibrary(session_.Library().FileName);
        options_.Save();
    } catch (const EShelvaraError& e) {
        Dialogs::Error(this, ToQ(e.what()));
    }
}

void TSVMainForm::FillLanguages() {
    filling_ = true;
    options_.Languages().Rescan();
    LangsCombo->clear();
    for (int i = 0; i < options_.Languages().Count(); ++i)
        LangsCombo->addItem(ToQ(options_.Languages().Name(i)), i);
    if (options_.Languages().Count() == 0) LangsCombo->addItem("<Default>", -1);
    const int current = options_.Languages().CurrentIndex();
    LangsCombo->setCurrentIndex(current >= 0 ? current : 0);
    filling_ = false;
}
