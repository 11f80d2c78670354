#include "shell/DupSearchPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <filesystem>
#include <mutex>
#include <unordered_set>

#include "catalogue/BookFolder.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/MessageIds.h"
#include "display/ui/SVGrid.h"
#include "dups/DupListObject.h"
#include "scan/PackerArchiveAccess.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/BookSelection.h"
#include "shell/Dialogs.h"
#include "shell/FolderDialogs.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"

namespace {

struct TAutoRow {
    int Words, Blocks, Length;
};
constexpr TAutoRow kAuto[4] = {{4, 4, 8}, {6, 8, 6}, {8, 12, 5}, {12, 20, 5}};

QSlider* Track(QWidget* parent, const char* name, int low, int high, int value) {
    auto* track = new QSlider(Qt::Horizontal, parent);
    track->setObjectName(name);
    track->setRange(low, high);
    track->setValue(value);
    return track;
}

}  // namespace

// The searcher's reports, from its worker to the page's thread; pairs of books that left the
// catalogue meanwhile are dropped there.
class TDupSearchPage::TRelay final : public IDupObserver {
public:
    explicit TRelay(TDupSearchPage* page) : page_(page) {}
    void DupStarted() override {
        Post([](TDupSearchPage* p) { p->Started(); });
    }
    void DupProgress(int phase, int done, int total, const std::string& path) override {
        const QString shown = ToQ(path);
        Post([=](TDupSearchPage* p) { p->Progress(phase, done, total, shown); });
    }
    void DupPairFound(const TDupBookRef& book1, const TDupBookRef& book2, int32_t similarity) override {
        TBookInfo* a = book1.Book;
        TBookInfo* b = book2.Book;
        Post([=](TDupSearchPage* p) { p->PairFound(a, similarity, b); });
    }
    void DupFinished(bool) override {
        Post([](TDupSearchPage* p) { p->Finished(); });
    }

private:
    template <typename F>
    void Post(F&& f) {
        QMetaObject::invokeMethod(
            page_, [page = page_, f] { f(page); }, Qt::QueuedConnection);
    }
    TDupSearchPage* page_;  // waits for the worker before it goes, so posting to it is safe
};

TDupSearchPage::TDupSearchPage(TLibrarySession& session, TBookSelection& selection, TObjList& rows, QWidget* parent)
    : QWidget(parent), selection_(selection), session_(session), rows_(rows) {
    setObjectName("DupFoundTab");
    auto* layout = new QVBoxLayout(this);
    auto* folders = new QGridLayout;
    DupFldr1Label = new QLabel(this);
    DupFldr1Label->setObjectName("DupFldr1Label");
    DupFldr2Label = new QLabel(this);
    DupFldr2Label->setObjectName("DupFldr2Label");
    Folder1Button = new QPushButton(this);
    Folder2Button = new QPushButton(this);
    folders->addWidget(Folder1Button, 0, 0);
    folders->addWidget(DupFldr1Label, 0, 1);
    folders->addWidget(Folder2Button, 1, 0);
    folders->addWidget(DupFldr2Label, 1, 1);
    folders->setColumnStretch(1, 1);
    layout->addLayout(folders);

    auto* buttons = new QHBoxLayout;
    StartDupButton = new QPushButton(this);
    StartDupButton->setObjectName("StartDupButton");
    PauseDupButton = new QPushButton(this);
    PauseDupButton->setObjectName("PauseDupButton");
    PauseDupButton->setCheckable(true);
    PauseDupButton->hide();
    DupSettingsButton = new QPushButton(this);
    DupSettingsButton->setObjectName("DupSettingsButton");
    DupSettingsButton->setCheckable(true);
    buttons->addWidget(StartDupButton);
    buttons->addWidget(PauseDupButton);
    buttons->addStretch(1);
    buttons->addWidget(DupSettingsButton);
    layout->addLayout(buttons);

    DupSettingsGroup = new QGroupBox(this);
    DupSettingsGroup->setObjectName("DupSettingsGroup");
    auto* grid = new QGridLayout(DupSettingsGroup);
    // A first search starts from the engine's own defaults, as the command line does: a low
    // threshold without sizes floods a big library with pairs. Stored choices replace them.
    const TDupParams defaults;
    SearchModeTrack = Track(DupSettingsGroup, "SearchModeTrack", 0, 3, defaults.SearchMode);
    DupCompTrack = Track(DupSettingsGroup, "DupCompTrack", 1, 100, defaults.Threshold / 1000);
    DupWordTrack = Track(DupSettingsGroup, "DupWordTrack", 3, 30, defaults.WordsPerBlock);
    DupBlockTrack = Track(DupSettingsGroup, "DupBlockTrack", 1, 50, defaults.BlocksPerBook);
    WordLenTrack = Track(DupSettingsGroup, "WordLenTrack", 2, 12, defaults.MinWordLength);
    modeLabel_ = new QLabel(DupSettingsGroup);
    compLabel_ = new QLabel(DupSettingsGroup);
    wordLabel_ = new QLabel(DupSettingsGroup);
    blockLabel_ = new QLabel(DupSettingsGroup);
    lenLabel_ = new QLabel(DupSettingsGroup);
    DupAutoCheck = new QCheckBox(DupSettingsGroup);
    DupAutoCheck->setObjectName("DupAutoCheck");
    DupAutoCheck->setChecked(true);
    DupSizeCheck = new QCheckBox(DupSettingsGroup);
    DupSizeCheck->setObjectName("DupSizeCheck");
    DupSizeCheck->setChecked(defaults.ConsiderSize);
    const std::pair<QSlider*, QLabel*> rowsOfTracks[] = {{SearchModeTrack, modeLabel_},
                                                         {DupCompTrack, compLabel_},
                                                         {DupWordTrack, wordLabel_},
                                                         {DupBlockTrack, blockLabel_},
                                                         {WordLenTrack, lenLabel_}};
    int r = 0;
    for (const auto& [track, label] : rowsOfTracks) {
        grid->addWidget(track, r, 0);
        grid->addWidget(label, r++, 1);
        connect(track, &QSlider::valueChanged, this, &TDupSearchPage::UpdateValueLabels);
    }
    grid->addWidget(DupAutoCheck, r, 0);
    grid->addWidget(DupSizeCheck, r, 1);
    DupSettingsGroup->hide();
    layout->addWidget(DupSettingsGroup);

    DupSearchPanel = new QWidget(this);
    DupSearchPanel->setObjectName("DupSearchPanel");
    auto* strip = new QHBoxLayout(DupSearchPanel);
    strip->setContentsMargins(0, 0, 0, 0);
    DupSearchLabel = new QLabel(DupSearchPanel);
    ProgressBar2 = new QProgressBar(DupSearchPanel);
    strip->addWidget(DupSearchLabel, 1);
    strip->addWidget(ProgressBar2, 1);
    DupSearchPanel->hide();
    layout->addWidget(DupSearchPanel);

    DupsGrid = new TSVGrid(this);
    DupsGrid->setObjectName("DupsGrid");
    DupsGrid->SetData(&rows_);
    layout->addWidget(DupsGrid, 1);

    connect(SearchModeTrack, &QSlider::valueChanged, this, &TDupSearchPage::ApplyAuto);
    connect(DupAutoCheck, &QCheckBox::toggled, this, &TDupSearchPage::ApplyAuto);
    connect(DupSettingsButton, &QPushButton::toggled, DupSettingsGroup, &QWidget::setVisible);
    connect(StartDupButton, &QPushButton::clicked, this, &TDupSearchPage::StartCommand);
    connect(PauseDupButton, &QPushButton::toggled, this, [this](bool down) {
        const bool done = searcher_ && (down ? searcher_->Pause() : searcher_->Resume());
        if (!done && down) {
            PauseDupButton->setChecked(false);
            PauseDupButton->hide();
        }
    });
    for (int which : {1, 2}) {
        QPushButton* button = which == 1 ? Folder1Button : Folder2Button;
        connect(button, &QPushButton::clicked, this, [this, which] {
            QLabel* label = which == 1 ? DupFldr1Label : DupFldr2Label;
            if (!Running()) label->setText(PickCatalogueFolder(this, session_.Library(), label->text()));
            UpdateStartButton();
        });
    }
    connect(DupsGrid, &TSVGrid::SelectionChanged, &selection_, &TBookSelection::SourceChanged);
    // DupsMenu: remove the selected pairs (also Ctrl+Delete), and the column chooser.
    auto* menu = new QMenu(this);
    menu->setObjectName("DupsMenu");
    deleteItem_ = menu->addAction(QString(), this, &TDupSearchPage::DeleteSelectedRows);
    deleteItem_->setObjectName("DeleteDupsItem");
    deleteItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    deleteItem_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    DupsGrid->addAction(deleteItem_);
    columnsMenu_ = menu->addMenu(QString());
    DupsGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DupsGrid, &QWidget::customContextMenuRequested, this, [this, menu](const QPoint& pos) {
        DupsGrid->FillColumnsMenu(columnsMenu_);
        menu->popup(DupsGrid->viewport()->mapToGlobal(pos));
    });
    connect(DupsGrid, &QAbstractItemView::doubleClicked, this, [this] {
        selection_.SourceChanged();
        selection_.RequestPanel(0);
    });
    Recaption();
    DupFldr1Label->setText(Msg(rsFolder) + " 1");
    DupFldr2Label->setText(Msg(rsFolder) + " 2");
    ApplyAuto();
    UpdateStartButton();
}

TDupSearchPage::~TDupSearchPage() {
    StopAndWait();
    DupsGrid->SetData(nullptr);
}

void TDupSearchPage::DeleteSelectedRows() {
    rows_.Fresh = false;
    rows_.RemoveIf([](const TListObject* row) { return row->Selected(); });
    selection_.SourceChanged();
}

void TDupSearchPage::Recaption() {
    deleteItem_->setText(Msg(rsDelete));
    columnsMenu_->setTitle(Msg(rsColumns));
    Folder1Button->setToolTip(Msg(rsFolder) + " 1:");
    Folder2Button->setToolTip(Msg(rsFolder) + " 2:");
    Folder1Button->setText(Msg(rsFolder) + " 1...");
    Folder2Button->setText(Msg(rsFolder) + " 2...");
    StartDupButton->setText(Msg(Running() ? rsStopDup : rsStartDup));
    PauseDupButton->setText(Msg(rsPause));
    DupSettingsButton->setText(Msg(rsSettings) + "...");
    DupAutoCheck->setText(Msg(rsAuto));
    DupSizeCheck->setText(Msg(rsDupSizeCheck));
    DupSettingsGroup->setTitle(Msg(rsSearchMode));
    setToolTip(Msg(rsFindDupHint));
    UpdateValueLabels();
}

void TDupSearchPage::UpdateValueLabels() {
    const int mode = SearchModeTrack->value();
    modeLabel_->setText(Msg(mode <= 0   ? rsDupFastest
                            : mode == 1 ? rsDupNormal
                            : mode == 2 ? rsDupAccurate
                                        : rsDupThroughput));
    compLabel_->setText(Msg(rsSimilarity) + " " + QString::number(DupCompTrack->value()) + "%");
    wordLabel_->setText(QString::number(DupWordTrack->value()) + " " + Msg(rsDupWords));
    blockLabel_->setText(QString::number(DupBlockTrack->value()) + " " + Msg(rsDupBlocks));
    lenLabel_->setText(QString::number(WordLenTrack->value()) + " " + Msg(rsDupChars));
}

void TDupSearchPage::ApplyAuto() {
    const bool automatic = DupAutoCheck->isChecked();
    for (QSlider* track : {DupWordTrack, DupBlockTrack, WordLenTrack})
        track->setEnabled(!automatic);
    if (automatic) {
        const TAutoRow& row = kAuto[std::clamp(SearchModeTrack->value(), 0, 3)];
        DupWordTrack->setValue(row.Words);
        DupBlockTrack->setValue(row.Blocks);
        WordLenTrack->setValue(row.Length);
    }
    UpdateValueLabels();
}

void TDupSearchPage::AttachPlacement(TIniPlacement* placement) {
    const std::pair<const char*, QSlider*> tracks[] = {{"SearchModeTrack_Position", SearchModeTrack},
                                                       {"DupCompTrack_Position", DupCompTrack},
                                                       {"DupWordTrack_Position", DupWordTrack},
                                                       {"DupBlockTrack_Position", DupBlockTrack},
                                                       {"WordLenTrack_Position", WordLenTrack}};
    for (const auto& [name, track] : tracks)
        placement->AddValue(
            name, [track] { return std::to_string(track->value()); },
            [track](const std::string& text) { track->setValue(QString::fromStdString(text).toInt()); });
    placement->AddCheck("DupAutoCheck_Checked", DupAutoCheck);
    placement->AddCheck("DupSizeCheck_Checked", DupSizeCheck);
    placement->AddCheck("DupSettingsButton_Down", DupSettingsButton);
    for (QLabel* label : {DupFldr1Label, DupFldr2Label})
        placement->AddValue(
            FromQ(label->objectName()) + "_Caption", [label] { return FromQ(label->text()); },
            [this, label](const std::string& text) {
                if (!text.empty()) label->setText(ToQ(text));
                UpdateStartButton();
            });
}

void TDupSearchPage::SetFolder(int which, const QString& path) {
    (which == 1 ? DupFldr1Label : DupFldr2Label)->setText(path);
    UpdateStartButton();
}

TBookFolder* TDupSearchPage::Resolve(const QLabel* label) const {
    std::error_code error;
    const QString path = label->text();
    if (path.isEmpty() || !std::filesystem::is_directory(path.toStdString(), error)) return nullptr;
    return session_.Library().FindFolder(FromQ(path));
}

void TDupSearchPage::UpdateStartButton() {
    if (Running()) return;
    folder1_ = Resolve(DupFldr1Label);
    folder2_ = Resolve(DupFldr2Label);
    StartDupButton->setEnabled(folder1_ && folder2_);
}

bool TDupSearchPage::Running() const {
    return searcher_ && searcher_->IsRunning();
}

void TDupSearchPage::Reset() {
    if (searcher_) {
        StopAndWait();
        rows_.BeginUpdate();
        rows_.Clear();
        rows_.Changed(kRowsChanged);
        rows_.EndUpdate();
        searcher_.reset();
        relay_.reset();
        gone_.clear();
    }
    PauseDupButton->setChecked(false);
    PauseDupButton->hide();
    DupSettingsGroup->setEnabled(true);
    StartDupButton->setText(Msg(rsStartDup));
}

void TDupSearchPage::StopAndWait() {
    if (!searcher_) return;
    searcher_->Stop();
    searcher_->Wait();
}

void TDupSearchPage::StartCommand() {
    if (searcher_) {
        if (searcher_->IsRunning()) {
            searcher_->Stop();
            StartDupButton->setText(Msg(rsResetDup));
        } else {
            Reset();
        }
        return;
    }
    UpdateStartButton();
    if (!StartDupButton->isEnabled()) return;
    static TPackerArchiveAccess packer;  // opens its own archive handles per call
    searcher_ = std::make_unique<TDupSearcher>(&packer);
    relay_ = std::make_unique<TRelay>(this);
    searcher_->Params.Threshold = DupCompTrack->value() * 1000;
    searcher_->Params.WordsPerBlock = DupWordTrack->value();
    searcher_->Params.BlocksPerBook = DupBlockTrack->value();
    searcher_->Params.MinWordLength = static_cast<int16_t>(WordLenTrack->value());
    searcher_->Params.SearchMode = static_cast<uint8_t>(SearchModeTrack->value());
    searcher_->Params.ConsiderSize = DupSizeCheck->isChecked();
    StartDupButton->setText(Msg(rsStopDup));
    DupSettingsGroup->setEnabled(false);
    TCatalogueGuard guard;
    if (!searcher_->Start(folder1_, folder2_, relay_.get())) Reset();
}

void TDupSearchPage::Started() {
    StartDupButton->setText(Msg(rsStopDup));
    DupSearchLabel->clear();
    ProgressBar2->setValue(0);
    DupSearchPanel->show();
    DupSettingsGroup->setEnabled(false);
    PauseDupButton->setChecked(false);
    PauseDupButton->show();
}

void TDupSearchPage::Progress(int phase, int done, int total, const QString& path) {
    if (!DupSearchPanel->isVisible() && !DupSearchPanel->isVisibleTo(this)) return;
    DupSearchLabel->setText(phase == 1 ? "   " + Msg(rsPrepare) + ":  " + path : path);
    ProgressBar2->setMaximum(std::max(total, 1));
    ProgressBar2->setValue(std::clamp(done, 0, std::max(total, 1)));
}

void TDupSearchPage::PairFound(TBookInfo* book1, int32_t similarity, TBookInfo* book2) {
    if (!searcher_ || gone_.count(book1) || gone_.count(book2)) return;  // reset, or a book went meanwhile
    rows_.Fresh = false;                                                 // the user's place in the grid stays
    rows_.Add(std::make_unique<TDupListObject>(book1, similarity, book2));
}

void TDupSearchPage::Finished() {
    DupSearchPanel->hide();
    StartDupButton->setText(Msg(rsStartDup));
    DupSettingsGroup->setEnabled(true);
    PauseDupButton->setChecked(false);
    PauseDupButton->hide();
}

void TDupSearchPage::BookRemoved(const void* book) {
    if (searcher_) {
        searcher_->RemoveBook(static_cast<const TBookInfo*>(book));
        gone_.insert(book);  // a pair naming it may already be on its way
    }
    rows_.RemoveIf([book](const TListObject* row) {
        const auto* pair = static_cast<const TDupListObject*>(row);
        return pair->Book1 == book || pair->Book2 == book;
    });
}
