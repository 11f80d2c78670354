#include "shell/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>
#include <unordered_set>

#include <filesystem>

#include "catalogue/BookGenre.h"
#include "catalogue/BookLinks.h"
#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/ListObjects.h"
#include "catalogue/LostBookInfo.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/ScopeExit.h"
#include "display/ui/SVGrid.h"
#include "dups/DupListObject.h"
#include "scan/FolderSync.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorListForm.h"
#include "shell/AuthorManageForm.h"
#include "shell/BookInfoForm.h"
#include "shell/BookListForm.h"
#include "shell/BookPreviewForm.h"
#include "shell/BookSelection.h"
#include "shell/CommandTable.h"
#include "shell/Dialogs.h"
#include "shell/DockTabs.h"
#include "shell/DupSearchPage.h"
#include "shell/FastBookInfoForm.h"
#include "shell/FolderTree.h"
#include "shell/GenresForm.h"
#include "shell/Options.h"
#include "shell/PendingChoicesForm.h"
#include "shell/SeqListForm.h"
#include "shell/WorkSummaryForm.h"

namespace {

constexpr int kFilterDelayMs = 500;
// New authors of a running import are shown at most this often.
constexpr int kNewAuthorsDelayMs = 500;

TRoleCheck RoleOf(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return TRoleCheck::Checked;
        case Qt::Unchecked:
            return TRoleCheck::Unchecked;
        default:
            return TRoleCheck::Grayed;
    }
}

QCheckBox* RoleBox(QWidget* parent, const char* name, Qt::CheckState state) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(name);
    box->setTristate(true);
    box->setCheckState(state);
    return box;
}

}  // namespace

TSVWinForm::TSVWinForm(IMainWindowHost& host, TLibrarySession& session)
    : host_(host), session_(session), selection_(new TBookSelection(session, this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("SVWinForm");
    setDockOptions(QMainWindow::AllowTabbedDocks | QMainWindow::AllowNestedDocks | QMainWindow::GroupedDragging |
                   QMainWindow::AnimatedDocks);
    authors_.RowClass = &TAuthorListObject::Class;
    series_.RowClass = &TSequenceListObject::Class;
    genres_.RowClass = &TGenreListObject::Class;
    duplicates_.RowClass = &TDupListObject::Class;
    selection_->SetSource([this](TBookCollection& books) { CollectBooks(books); });
    authorsLater_ = new QTimer(this);
    authorsLater_->setSingleShot(true);
    authorsLater_->setInterval(kNewAuthorsDelayMs);
    connect(authorsLater_, &QTimer::timeout, this, &TSVWinForm::RebuildKeepingRows);
    connect(selection_, &TBookSelection::PanelRequested, this, &TSVWinForm::ShowPanel);
    BuildWidgets();
    dockTabs_ = new TDockTabs(this, session_.Options().Store());
    connect(this, &QMainWindow::tabifiedDockWidgetActivated, dockTabs_, &TDockTabs::LayoutChanged);
    AuthorsGrid->SetData(&authors_);
    SeriesGrid->SetData(&series_);
    GenresGrid->SetData(&genres_);
    favourites_.RowClass = &TBookListObject::Class;
    FavoritesGrid->SetData(&favourites_);

    connect(&session_, &TLibrarySession::BookChanged, this, &TSVWinForm::BookChanged);
    connect(&session_, &TLibrarySession::SeriesChanged, this, &TSVWinForm::SeriesChanged);
    connect(&session_, &TLibrarySession::GenreChanged, this, &TSVWinForm::GenreChanged);
    connect(&session_, &TLibrarySession::AuthorChanged, this, &TSVWinForm::AuthorChanged);
    connect(&session_, &TLibrarySession::LibraryReloaded, this, &TSVWinForm::Rebuild);
    connect(&session_, &TLibrarySession::FileChanged, this, &TSVWinForm::UpdateTitle);
    connect(&session_, &TLibrarySession::WorkStarted, this, &TSVWinForm::ResyncStarted);
    connect(&session_, &TLibrarySession::WorkProgress, this, &TSVWinForm::ResyncProgress);
    connect(&session_, &TLibrarySession::WorkFinished, this, &TSVWinForm::ResyncFinished);
    connect(&session_.Options(), &TOptions::languageChanged, this, &TSVWinForm::Recaption);
    connect(&session_.Options(), &TOptions::changed, this, &TSVWinForm::ApplySettings);
    session_.AddView(this);

    RestoreState();
    ApplySettings();
    ApplyTabPosition();
    constructing_ = false;
    number_ = host_.FreeWindowNumber(this);
    Recaption();
    Rebuild();
    QTimer::singleShot(0, this, &TSVWinForm::OpenPanels);
    // A library without a place on disk to look at: offer to add one at once.
    if (session_.Library().MountPoints.empty()) QTimer::singleShot(0, this, &TSVWinForm::AskForMountPoint);
}

void TSVWinForm::AskForMountPoint() {
    if (closing_ || !session_.Library().MountPoints.empty()) return;
    if (Dialogs::AskYesNoCancel(this, Msg(rsAttention), Msg(rsNoMountPoints)) != Dialogs::TAnswer::Yes) return;
    MainPageControl->setCurrentWidget(DirTreeTab);
    Dialogs::Guard(this, [this] { MPTree->NewMountPoint(); });
}

TSVWinForm::~TSVWinForm() {
    closing_ = constructing_ = true;
    DupPage->StopAndWait();  // its worker reports into this window's rows
    session_.RemoveView(this);
    host_.ForgetWindow(this);
    // The panels go first, told that their window is gone.
    for (QPointer<TDockableForm>& panel : panels_) {
        if (!panel) continue;
        panel->Detach();
        delete panel.data();
    }
    // The grids go before the lists they show.
    for (TSVGrid* grid : {AuthorsGrid, SeriesGrid, GenresGrid, FavoritesGrid, DupPage->DupsGrid})
        grid->SetData(nullptr);
}

// --- building the window ---

QWidget* TSVWinForm::BuildListTab(TSVGrid*& grid, const char* gridName, QLineEdit*& edit, QComboBox*& combo,
                                  QCheckBox*& ext, QTimer*& timer, QWidget* extra) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* filters = new QHBoxLayout;
    edit = new QLineEdit(page);
    edit->setClearButtonEnabled(true);
    combo = new QComboBox(page);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ext = new QCheckBox(page);
    filters->addWidget(edit, 1);
    filters->addWidget(combo);
    filters->addWidget(ext);
    layout->addLayout(filters);
    if (extra) layout->addWidget(extra);
    grid = new TSVGrid(page);
    grid->setObjectName(gridName);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(grid, 1);

    timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(kFilterDelayMs);
    // Every change restarts the timer: the list is rebuilt once typing pauses.
    auto restart = [this, t = timer] {
        if (!constructing_) t->start();
    };
    connect(edit, &QLineEdit::textChanged, this, restart);
    connect(combo, &QComboBox::currentIndexChanged, this, restart);
    connect(ext, &QCheckBox::toggled, this, restart);
    TSVGrid* g = grid;
    // A click or a change of the rows: the book list shows the books of the new selection.
    connect(grid, &TSVGrid::SelectionChanged, this, [this] {
        FillEmptyCombos();
        selection_->SourceChanged();
    });
    connect(grid, &TSVGrid::DataChanged, this, [this] {
        FillEmptyCombos();
        UpdateRowCount();
        if (!keepingRows_) selection_->SourceChanged();
    });
    connect(grid, &TSVGrid::SortFailed, this, [this](const QString& text) { Dialogs::Error(this, text); });
    // Alt or Ctrl with a double click opens the entity's window (desktops often take Alt).
    connect(grid, &QAbstractItemView::doubleClicked, this, [this, g = grid] {
        if (g->DoubleClickModifiers() & (Qt::AltModifier | Qt::ControlModifier))
            OpenEntityWindow(g);
        else if (g == AuthorsGrid)
            ShowAuthorInformation();
    });
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this, g](const QPoint& pos) { ShowColumnsMenu(g, g->viewport()->mapToGlobal(pos)); });
    g->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(g->horizontalHeader(), &QWidget::customContextMenuRequested, this,
            [this, g](const QPoint& pos) { ShowColumnsMenu(g, g->horizontalHeader()->mapToGlobal(pos)); });
    return page;
}

void TSVWinForm::BuildWidgets() {
    auto* bar = addToolBar(QString());
    bar->setObjectName("ToolBar1");
    bar->setMovable(false);
    auto button = [&](const char* name, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(bar);
        b->setObjectName(name);
        b->setIcon(style()->standardIcon(icon));
        bar->addWidget(b);
        return b;
    };
    // The window's commands: the tool bar's buttons and menus and the usual keys run them.
    commands_ = new TCommandTable(this);
    commands_->Add(
        "Open", rsOpenLib, [this] { OpenLibraryCommand(); }, QKeySequence::Open);
    commands_->Add(
        "Save", rsSave, [this] { Save(); }, QKeySequence::Save);
    commands_->Add(
        "SaveAs", rsSaveAs, [this] { SaveAs(); }, QKeySequence::SaveAs, {}, "...");
    commands_->Add(
        "NewWindow", rsOpenNewWindow, [this] { NewWindowCommand(); }, QKeySequence::New);
    commands_->Add("Settings", rsSettings, [this] { host_.ShowSettings(this); });
    commands_->Add("OpenPanels", rsPanelsTool, [this] {
        for (int i = 0; i < kPanelCount; ++i)
            if (!panels_[static_cast<size_t>(i)]) OpenPanel(i);
        UpdatePanelsMenu();
    });
    const int panelCaptions[kPanelCount] = {rsBooksName, rsFastInfoName, rsBookInfoName, rsPreviewName};
    for (int i = 0; i < kPanelCount; ++i)
        commands_->Add("Panel" + std::to_string(i), panelCaptions[i], [this, i] { TogglePanel(i); })
            ->setCheckable(true);
    for (const char* name : {"Open", "Save", "SaveAs", "NewWindow"})
        addAction(commands_->Action(name));

    openButton_ = button("OpenFileToolButton", QStyle::SP_DialogOpenButton);
    connect(openButton_, &QToolButton::clicked, this, [this] { commands_->Run("Open"); });

    saveButton_ = button("SaveFileToolButton", QStyle::SP_DialogSaveButton);
    saveMenu_ = new QMenu(this);
    saveMenu_->addAction(commands_->Action("Save"));
    saveMenu_->addAction(commands_->Action("SaveAs"));
    saveButton_->setMenu(saveMenu_);
    saveButton_->setPopupMode(QToolButton::MenuButtonPopup);
    connect(saveButton_, &QToolButton::clicked, this, [this] { commands_->Run("Save"); });

    newWindowButton_ = button("NewWindowToolButton", QStyle::SP_FileDialogNewFolder);
    windowsMenu_ = new QMenu(this);
    newWindowButton_->setMenu(windowsMenu_);
    newWindowButton_->setPopupMode(QToolButton::MenuButtonPopup);
    connect(newWindowButton_, &QToolButton::clicked, this, [this] { commands_->Run("NewWindow"); });
    connect(windowsMenu_, &QMenu::aboutToShow, this, [this] {
        windowsMenu_->clear();
        for (TSVWinForm* window : host_.Windows()) {
            windowsMenu_->addAction(window->windowTitle(), window, [window] {
                window->show();
                window->raise();
                window->activateWindow();
            });
        }
    });

    // One checkable entry per book panel; the button opens every closed one.
    panelsButton_ = button("PanelsToolButton", QStyle::SP_FileDialogDetailedView);
    panelsMenu_ = new QMenu(this);
    for (int i = 0; i < kPanelCount; ++i)
        panelsMenu_->addAction(commands_->Action("Panel" + std::to_string(i)));
    connect(panelsMenu_, &QMenu::aboutToShow, this, &TSVWinForm::UpdatePanelsMenu);
    panelsButton_->setMenu(panelsMenu_);
    panelsButton_->setPopupMode(QToolButton::MenuButtonPopup);
    connect(panelsButton_, &QToolButton::clicked, this, [this] { commands_->Run("OpenPanels"); });

    settingsButton_ = button("SettingsToolButton", QStyle::SP_FileDialogContentsView);
    connect(settingsButton_, &QToolButton::clicked, this, [this] { commands_->Run("Settings"); });

    // Author questions a scan queued: shown only while there are some.
    choicesButton_ = new QToolButton(bar);
    choicesButton_->setObjectName("ChoicesToolButton");
    choicesButton_->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    choicesButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    choicesAction_ = bar->addWidget(choicesButton_);
    connect(choicesButton_, &QToolButton::clicked, this, [this] { ShowPendingChoices(); });
    connect(&session_, &TLibrarySession::PendingChoicesChanged, this, &TSVWinForm::UpdateChoicesButton);
    UpdateChoicesButton();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    MainPageControl = new QTabWidget(central);
    MainPageControl->setObjectName("MainPageControl");
    layout->addWidget(MainPageControl, 1);

    // Authors: the filter and the four role boxes.
    auto* roles = new QWidget;
    auto* roleLayout = new QHBoxLayout(roles);
    roleLayout->setContentsMargins(0, 0, 0, 0);
    FltAuthorCheck = RoleBox(roles, "FltAuthorCheck", Qt::Checked);
    FltTranslatorsCheck = RoleBox(roles, "FltTranslatorsCheck", Qt::PartiallyChecked);
    FltOtherAuthorsCheck = RoleBox(roles, "FltOtherAuthorsCheck", Qt::PartiallyChecked);
    FltNoAuthorCheck = RoleBox(roles, "FltNoAuthorCheck", Qt::PartiallyChecked);
    for (QCheckBox* box : {FltAuthorCheck, FltTranslatorsCheck, FltOtherAuthorsCheck, FltNoAuthorCheck}) {
        roleLayout->addWidget(box);
        connect(box, &QCheckBox::stateChanged, this, [this] {
            UpdateRoleHints();
            if (constructing_) return;
            authors_.Stale = true;
            BuildAuthors();
        });
    }
    roleLayout->addStretch(1);
    AuthorsTab = BuildListTab(AuthorsGrid, "AuthorsGrid", AuthorFilterEdit, AuthorFilterCombo, ExtAuthorFilterCheck,
                              AuthorFilterTimer, roles);
    SeriesTab = BuildListTab(SeriesGrid, "SeriesGrid", SeriesFilterEdit, SeriesFilterCombo, ExtSeriesFilterCheck,
                             SeriesFilterTimer, nullptr);
    GenresTab = BuildListTab(GenresGrid, "GenresGrid", GenresFilterEdit, GenresFilterCombo, ExtGenresFilterCheck,
                             GenresFilterTimer, nullptr);
    connect(AuthorFilterTimer, &QTimer::timeout, this, [this] {
        authors_.Stale = true;
        BuildAuthors();
    });
    connect(SeriesFilterTimer, &QTimer::timeout, this, [this] {
        series_.Stale = true;
        BuildSeries();
    });
    connect(GenresFilterTimer, &QTimer::timeout, this, [this] {
        genres_.Stale = true;
        BuildGenres();
    });

    FavourTab = new QWidget;
    auto* favourLayout = new QVBoxLayout(FavourTab);
    favourCaption_ = new QLabel(FavourTab);
    favourCaption_->setWordWrap(true);
    FavoritesGrid = new TSVGrid(FavourTab);
    FavoritesGrid->setObjectName("FavoritesGrid");
    favourLayout->addWidget(favourCaption_);
    favourLayout->addWidget(FavoritesGrid, 1);

    // The work tab: lost books (shown by the book list) and the duplicate search.
    WorkTab = new QTabWidget;
    auto* work = static_cast<QTabWidget*>(WorkTab);
    work->setObjectName("WorkPageControl");
    auto* lost = new QWidget;
    lost->setObjectName("LostFoundTab");
    auto* lostLayout = new QVBoxLayout(lost);
    lostCaption_ = new QLabel(lost);
    lostCaption_->setWordWrap(true);
    lostLayout->addWidget(lostCaption_);
    lostLayout->addStretch(1);
    DupPage = new TDupSearchPage(session_, *selection_, duplicates_);
    work->addTab(lost, QString());
    work->addTab(DupPage, QString());
    DirTreeTab = new QWidget;
    auto* treeLayout = new QVBoxLayout(DirTreeTab);
    treeLayout->setContentsMargins(2, 2, 2, 2);
    MPTree = new TFolderTreeView(session_, *selection_, DirTreeTab);
    treeLayout->addWidget(MPTree);
    connect(MPTree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!constructing_) selection_->SourceChanged();
    });

    const std::pair<QWidget*, const char*> tabs[] = {{AuthorsTab, "AuthorsTab"}, {SeriesTab, "SeriesTab"},
                                                     {GenresTab, "GenresTab"},   {FavourTab, "FavourTab"},
                                                     {WorkTab, "WorkTab"},       {DirTreeTab, "DirTreeTab"}};
    for (const auto& [tab, name] : tabs) {
        tab->setObjectName(name);
        MainPageControl->addTab(tab, QString());
    }
    // Nothing fills the favourites yet, so their tab is not shown.
    MainPageControl->setTabVisible(MainPageControl->indexOf(FavourTab), false);
    connect(MainPageControl, &QTabWidget::currentChanged, this, [this] { TabChanged(); });

    // The tab position menu, opened by a right click on a tab.
    tabMenu_ = new QMenu(this);
    auto* group = new QActionGroup(tabMenu_);
    const char* names[] = {"TopItem1", "BottomItem1", "LeftItem1", "RightItem1"};
    for (int i = 0; i < 4; ++i) {
        tabPositions_[i] = tabMenu_->addAction(QString());
        tabPositions_[i]->setObjectName(names[i]);
        tabPositions_[i]->setCheckable(true);
        group->addAction(tabPositions_[i]);
        connect(tabPositions_[i], &QAction::triggered, this, [this] { ApplyTabPosition(); });
    }
    tabPositions_[0]->setChecked(true);
    tabMenu_->addSeparator();
    multilineItem_ = tabMenu_->addAction(QString());
    multilineItem_->setObjectName("MultilineItem1");
    multilineItem_->setCheckable(true);
    connect(multilineItem_, &QAction::triggered, this, [this] { ApplyTabPosition(); });
    MainPageControl->tabBar()->installEventFilter(this);
    connect(work, &QTabWidget::currentChanged, this, [this] {
        if (!constructing_) selection_->SourceChanged();
    });

    ResyncPanel = new QWidget(central);
    ResyncPanel->setObjectName("ResyncPanel");
    auto* strip = new QHBoxLayout(ResyncPanel);
    strip->setContentsMargins(4, 2, 4, 2);
    ResyncLabel = new QLabel(ResyncPanel);
    ProgressBar1 = new QProgressBar(ResyncPanel);
    strip->addWidget(ResyncLabel, 1);
    strip->addWidget(ProgressBar1, 1);
    ResyncPanel->hide();
    layout->addWidget(ResyncPanel);
    setCentralWidget(central);
    rowCount_ = new QLabel(statusBar());
    rowCount_->setObjectName("RowCountLabel");
    statusBar()->addWidget(rowCount_);
    damagedLabel_ = new QLabel(statusBar());
    damagedLabel_->setObjectName("DamagedLabel");
    damagedLabel_->setStyleSheet("color: #a00000; font-weight: bold");
    damagedLabel_->hide();
    statusBar()->addPermanentWidget(damagedLabel_);
    resize(900, 600);
}

void TSVWinForm::RestoreState() {
    placement_ = new TIniPlacement(this, session_.Options().Store(), "TSVWinForm");
    placement_->AddCheckState("FltAuthorCheck_State", FltAuthorCheck);
    placement_->AddCheckState("FltNoAuthorCheck_State", FltNoAuthorCheck);
    placement_->AddCheckState("FltOtherAuthorsCheck_State", FltOtherAuthorsCheck);
    placement_->AddCheckState("FltTranslatorsCheck_State", FltTranslatorsCheck);
    placement_->AddCheck("ExtAuthorFilterCheck_Checked", ExtAuthorFilterCheck);
    placement_->AddCheck("ExtSeriesFilterCheck_Checked", ExtSeriesFilterCheck);
    const char* names[] = {"TopItem1_Checked", "BottomItem1_Checked", "LeftItem1_Checked", "RightItem1_Checked"};
    for (int i = 0; i < 4; ++i) {
        QAction* item = tabPositions_[i];
        placement_->AddValue(
            names[i], [item] { return std::string(item->isChecked() ? "True" : "False"); },
            [item](const std::string& text) { item->setChecked(text == "True" || text == "true"); });
    }
    placement_->AddValue(
        "MultilineItem1_Checked", [this] { return std::string(multilineItem_->isChecked() ? "True" : "False"); },
        [this](const std::string& text) { multilineItem_->setChecked(text == "True" || text == "true"); });
    for (TSVGrid* grid : {AuthorsGrid, SeriesGrid, GenresGrid, FavoritesGrid, DupPage->DupsGrid})
        grid->AttachPlacement(placement_);
    placement_->AddValue(
        "CheckCumulativeItem_Checked",
        [this] { return std::string(MPTree->CumulativeItem()->isChecked() ? "True" : "False"); },
        [this](const std::string& text) { MPTree->CumulativeItem()->setChecked(text == "True" || text == "true"); });
    DupPage->AttachPlacement(placement_);
    placement_->AfterRestore = [this](TFormState& state) {
        // A library whose file is gone opens on the structure tab.
        const bool fileExists = session_.HasFile();
        const QString page =
            fileExists || session_.Library().FileName.empty() ? ToQ(state.Read("ActivePage")) : QString("DirTreeTab");
        for (int i = 0; i < MainPageControl->count(); ++i)
            if (MainPageControl->widget(i)->objectName() == page && MainPageControl->isTabVisible(i))
                MainPageControl->setCurrentIndex(i);
        auto* work = static_cast<QTabWidget*>(WorkTab);
        const QString sub = ToQ(state.Read("ActivePage2"));
        for (int i = 0; i < work->count(); ++i)
            if (work->widget(i)->objectName() == sub) work->setCurrentIndex(i);
        openedWindows_ = state.Read("OpenedWindows", "11111111");
        dockState_ = QByteArray::fromHex(QByteArray::fromStdString(state.Read("DockState")));
    };
    placement_->BeforeSave = [this](TFormState& state) {
        state.Write("ActivePage", FromQ(MainPageControl->currentWidget()->objectName()));
        state.Write("ActivePage2", FromQ(static_cast<QTabWidget*>(WorkTab)->currentWidget()->objectName()));
        // One mark per panel; a panel this program cannot open yet keeps the mark it had.
        openedWindows_.resize(std::max<size_t>(openedWindows_.size(), kPanelCount), '0');
        for (int i = 0; i < kPanelCount; ++i)
            if (commands_->Action("Panel" + std::to_string(i))->isEnabled())
                openedWindows_[static_cast<size_t>(i)] = panels_[static_cast<size_t>(i)] ? '1' : '0';
        state.Write("OpenedWindows", openedWindows_.substr(0, kPanelCount));
        // Where the panels are: docked, tabbed, floating, and their sizes.
        state.Write("DockState", saveState().toHex().toStdString());
    };
    placement_->Restore();
    UpdateRoleHints();
}

// --- captions ---

void TSVWinForm::Renumber() {
    number_ = host_.FreeWindowNumber(this);
    UpdateTitle();
}

void TSVWinForm::UpdateTitle() {
    // A damaged library says so wherever its file name would stand.
    const QString damaged = Msg(rsLibraryDamaged);
    const QString name = ToQ(session_.Library().FileName);
    const QString file = session_.LibraryDamaged() ? damaged : name.isEmpty() ? Msg(rsUnsavedLibrary) : name;
    setWindowTitle(Msg(rsSVWinCaption) + " : " + QString::number(number_) + " (" + file + ")");
    damagedLabel_->setText(damaged);
    damagedLabel_->setVisible(session_.LibraryDamaged());
}

void TSVWinForm::Recaption() {
    UpdateTitle();
    openButton_->setToolTip(Msg(rsOpenLib));
    saveButton_->setToolTip(Msg(rsSaveLib));
    commands_->Recaption();
    newWindowButton_->setToolTip(Msg(rsOpenNewWindow));
    panelsButton_->setToolTip(Msg(rsPanelsTool));
    settingsButton_->setToolTip(Msg(rsSettings));
    UpdateChoicesButton();
    const int tabCaptions[] = {rsAuthorsTab, rsSeriesTab, rsGenresTab, rsFavourTab, rsWorkTab, rsDirTreeTab};
    for (int i = 0; i < MainPageControl->count(); ++i)
        MainPageControl->setTabText(i, Msg(tabCaptions[i]));
    auto* work = static_cast<QTabWidget*>(WorkTab);
    work->setTabText(0, Msg(rsLostFound));
    work->setTabText(1, Msg(rsDupSearch));
    work->setTabToolTip(1, Msg(rsFindDupHint));
    lostCaption_->setText(Msg(rsLostFound));
    MPTree->Recaption();
    DupPage->Recaption();
    const int positionCaptions[] = {rsTabsTop, rsTabsBottom, rsTabsLeft, rsTabsRight};
    for (int i = 0; i < 4; ++i)
        tabPositions_[i]->setText(Msg(positionCaptions[i]));
    multilineItem_->setText(Msg(rsMultilineTab));
    dockTabs_->Recaption();
    FltAuthorCheck->setText(Msg(rsAuthors));
    FltTranslatorsCheck->setText(Msg(rsTranslators));
    FltOtherAuthorsCheck->setText(Msg(rsDesigners));
    FltNoAuthorCheck->setText(Msg(rsAuthorNoName));
    UpdateRoleHints();
    for (QCheckBox* ext : {ExtAuthorFilterCheck, ExtSeriesFilterCheck, ExtGenresFilterCheck})
        ext->setText(Msg(rsExtendedFilter));
    for (QLineEdit* edit : {AuthorFilterEdit, SeriesFilterEdit, GenresFilterEdit})
        edit->setPlaceholderText(Msg(rsFilter));

    // The filter combos are filled again, keeping their choice, without a rebuild.
    const bool constructing = constructing_;
    constructing_ = true;
    const std::pair<QComboBox*, const TRowClass*> combos[] = {{AuthorFilterCombo, &TAuthorListObject::Class},
                                                              {SeriesFilterCombo, &TSequenceListObject::Class},
                                                              {GenresFilterCombo, &TGenreListObject::Class}};
    for (const auto& [combo, rowClass] : combos) {
        const int index = combo->currentIndex();
        combo->blockSignals(true);
        combo->clear();
        FillFilterCombo(combo, *rowClass);
        if (index >= 0 && index < combo->count()) combo->setCurrentIndex(index);
        combo->blockSignals(false);
    }
    constructing_ = constructing;
    for (TSVGrid* grid : {AuthorsGrid, SeriesGrid, GenresGrid, FavoritesGrid}) {
        grid->model()->headerDataChanged(Qt::Horizontal, 0, std::max(grid->model()->columnCount() - 1, 0));
        grid->viewport()->update();
    }
}

void TSVWinForm::UpdateRoleHints() {
    for (QCheckBox* box : {FltAuthorCheck, FltTranslatorsCheck, FltOtherAuthorsCheck, FltNoAuthorCheck}) {
        const Qt::CheckState s = box->checkState();
        box->setToolTip(Msg(s == Qt::Checked     ? rsAuthorHintCheck
                            : s == Qt::Unchecked ? rsAuthorHintUncheck
                                                 : rsAuthorHintGray));
    }
}

void TSVWinForm::FillFilterCombo(QComboBox* combo, const TRowClass& rowClass) {
    if (combo->count() > 0) return;
    const bool blocked = combo->blockSignals(true);
    combo->addItem(Msg(rsEverywhereFltItem), 0);
    for (int c = 0; c < rowClass.ColumnCount(); ++c)
        combo->addItem(ToQ(rowClass.ColumnCaption(c)).trimmed(), 100 + c);
    combo->setCurrentIndex(0);
    combo->blockSignals(blocked);
}

void TSVWinForm::FillEmptyCombos() {
    FillFilterCombo(AuthorFilterCombo, TAuthorListObject::Class);
    FillFilterCombo(SeriesFilterCombo, TSequenceListObject::Class);
    FillFilterCombo(GenresFilterCombo, TGenreListObject::Class);
}

// --- lists ---

TListFilter TSVWinForm::FilterOf(const TFilterBox& box) const {
    TListFilter filter;
    if (box.Combo->currentIndex() < 0) return filter;  // no column chosen: no filter
    filter.Text = FromQ(box.Edit->text());
    const int tag = box.Combo->currentData().toInt();
    filter.Column = tag >= 100 ? tag - 100 : -1;
    filter.Extended = box.Extended->isChecked();
    return filter;
}

void TSVWinForm::BuildAuthors(bool keepPlace) {
    if (closing_ || !authors_.Stale) return;
    TCatalogueGuard guard;  // a background resynchronisation may be changing the catalogue
    const TAuthorRoleChecks roles{RoleOf(FltAuthorCheck), RoleOf(FltTranslatorsCheck), RoleOf(FltOtherAuthorsCheck),
                                  RoleOf(FltNoAuthorCheck)};
    try {
        BuildAuthorRows(session_.Library(), roles,
                        FilterOf({AuthorFilterEdit, AuthorFilterCombo, ExtAuthorFilterCheck}), authors_, keepPlace);
    } catch (const EShelvaraError& e) {
        Dialogs::Error(this, ToQ(e.what()));
    }
}

void TSVWinForm::BuildSeries(bool keepPlace) {
    if (closing_ || !series_.Stale) return;
    TCatalogueGuard guard;
    BuildSequenceRows(session_.Library(), FilterOf({SeriesFilterEdit, SeriesFilterCombo, ExtSeriesFilterCheck}),
                      series_, keepPlace);
}

void TSVWinForm::BuildGenres(bool keepPlace) {
    if (closing_ || !genres_.Stale) return;
    TCatalogueGuard guard;
    BuildGenreRows(session_.Library(), FilterOf({GenresFilterEdit, GenresFilterCombo, ExtGenresFilterCheck}), genres_,
                   keepPlace);
}

void TSVWinForm::DropRows() {
    // The search stops before the rows and books it reports into go.
    DupPage->Reset();
    MPTree->Model().Clear();
    for (const QPointer<TDockableForm>& panel : panels_)
        if (panel) panel->DropBooks();
    for (TObjList* list : {&authors_, &series_, &genres_, &duplicates_}) {
        list->BeginUpdate();
        list->Clear();
        list->Stale = true;
        list->Changed(kRowsChanged);
        list->EndUpdate();
    }
}

void TSVWinForm::Rebuild() {
    if (closing_) return;
    MPTree->Model().Reset();
    for (TObjList* list : {&authors_, &series_, &genres_})
        list->Stale = true;
    // The library's stored duplicate pairs become this window's results.
    duplicates_.BeginUpdate();
    duplicates_.Clear();
    for (const TDuplicatePair& pair : session_.Library().Duplicates)
        duplicates_.Add(std::make_unique<TDupListObject>(pair.Book1, pair.Similarity, pair.Book2));
    duplicates_.EndUpdate();
    TabChanged();
    UpdateTitle();  // the library's file name may have changed
}

void TSVWinForm::CollectDuplicates(std::vector<TDuplicatePair>& pairs) {
    MergeDuplicateRows(duplicates_, pairs);
}

void TSVWinForm::TabChanged() {
    if (constructing_ || closing_) return;
    QWidget* tab = MainPageControl->currentWidget();
    if (tab == AuthorsTab) BuildAuthors();
    if (tab == SeriesTab) BuildSeries();
    if (tab == GenresTab) BuildGenres();
    UpdateRowCount();
    selection_->SourceChanged();
}

TSVGrid* TSVWinForm::ActiveGrid() const {
    QWidget* tab = MainPageControl->currentWidget();
    if (tab == AuthorsTab) return AuthorsGrid;
    if (tab == SeriesTab) return SeriesGrid;
    if (tab == GenresTab) return GenresGrid;
    if (tab == FavourTab) return FavoritesGrid;
    return nullptr;
}

// Entities are compared by identity only: an author named here may have been freed already.
void TSVWinForm::BookChanged(TBookChange change, const TBookInfo* book) {
    if (closing_ || constructing_) return;
    if (TSVGrid* grid = ActiveGrid()) grid->viewport()->update();
    if (change == TBookChange::Removed) DupPage->BookRemoved(book);
}

void TSVWinForm::SeriesChanged(TEntityChange change, const TBookSequence* series) {
    if (closing_ || constructing_) return;
    if (change == TEntityChange::Changed && MainPageControl->currentWidget() == SeriesTab)
        SeriesGrid->viewport()->update();
    if (change == TEntityChange::Added && series_.Count() > 0) {
        series_.Fresh = false;
        series_.Add(std::make_unique<TSequenceListObject>(const_cast<TBookSequence*>(series)));
    }
    if (change == TEntityChange::Deleted) SeriesGrid->RemoveEntityLater(series);
}

void TSVWinForm::GenreChanged(TEntityChange change, const TBookGenre* genre) {
    if (closing_ || constructing_) return;
    if (change == TEntityChange::Changed && MainPageControl->currentWidget() == GenresTab)
        GenresGrid->viewport()->update();
    if (change == TEntityChange::Deleted) GenresGrid->RemoveEntityLater(genre);
}

void TSVWinForm::AuthorChanged(TAuthorChange change, const void* object) {
    if (closing_ || constructing_) return;
    if (change == TAuthorChange::Added && !authorsLater_->isActive())
        authorsLater_->start();  // an import adds many: one rebuild for all that arrive meanwhile
    else if (change == TAuthorChange::Deleted)
        AuthorsGrid->RemoveEntityLater(object);
    else
        AuthorsGrid->viewport()->update();
}

// --- settings and menus ---

void TSVWinForm::ApplySettings() {
    const bool striped = session_.Options().StripedGrids();
    for (TSVGrid* grid : {AuthorsGrid, GenresGrid, FavoritesGrid})
        grid->SetStriped(striped);
    SeriesGrid->SetStriped(false);
}

void TSVWinForm::ApplyTabPosition() {
    const QTabWidget::TabPosition position = CheckedTabPosition(tabPositions_, QTabWidget::North);
    MainPageControl->setTabPosition(position);
    // Qt's tab bar cannot wrap: several rows become all tabs shrunk to fit, without scrolling.
    if (position == QTabWidget::North || position == QTabWidget::South) {
        MainPageControl->setUsesScrollButtons(!multilineItem_->isChecked());
        MainPageControl->setElideMode(multilineItem_->isChecked() ? Qt::ElideRight : Qt::ElideNone);
    }
}

bool TSVWinForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == MainPageControl->tabBar() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            tabMenu_->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TSVWinForm::ShowColumnsMenu(TSVGrid* grid, const QPoint& globalPos) {
    QMenu menu(this);
    if (grid == GenresGrid || grid == SeriesGrid || grid == AuthorsGrid) {
        const int caption = grid == GenresGrid   ? rsGenresTab
                            : grid == SeriesGrid ? rsSeriesListCaption
                                                 : rsAuthorsListCaption;
        menu.addAction(Msg(caption), this, [this, grid] { OpenEntityWindow(grid); });
        menu.addSeparator();
    }
    QMenu* columns = menu.addMenu(Msg(rsColumns));
    columns->setObjectName("ColumnsItem1");
    grid->FillColumnsMenu(columns);
    menu.exec(globalPos);
}

// --- commands ---

void TSVWinForm::OpenLibraryCommand() {
    const QString path = session_.AskLibraryFile(this);
    if (path.isEmpty()) return;
    session_.OpenLibrary(path, this);
}

// The captions follow through the session's FileChanged.
bool TSVWinForm::Save() {
    return session_.Save(this);
}

bool TSVWinForm::SaveAs() {
    return session_.SaveAs(this);
}

void TSVWinForm::NewWindowCommand() {
    if (TSVWinForm* window = host_.NewWindow()) window->show();
}

// --- resynchronisation ---

void TSVWinForm::ResyncStarted(const void* owner) {
    if (owner != this) return;
    ResyncLabel->clear();
    ProgressBar1->setValue(0);
    ResyncPanel->show();
}

void TSVWinForm::ResyncProgress(const void* owner, int position, int maximum, const QString& text) {
    if (owner != this || !ResyncPanel->isVisible()) return;
    ResyncLabel->setText("   " + text);
    ProgressBar1->setMaximum(std::max(maximum, 1));
    ProgressBar1->setValue(std::clamp(position, 0, std::max(maximum, 1)));
}

void TSVWinForm::ResyncFinished(const void* owner, const TSyncStats& stats) {
    if (owner != this || closing_) return;
    ResyncPanel->hide();
    session_.ReportResync(stats, this);
    TWorkSummaryForm::ShowRun(this, session_, stats);
    RebuildKeepingRows();
}

void TSVWinForm::UpdateChoicesButton() {
    choicesButton_->setText(TPendingChoicesForm::ButtonText(session_));
    choicesAction_->setVisible(session_.PendingChoices().Count() > 0);
}

TPendingChoicesForm* TSVWinForm::ShowPendingChoices() {
    return TPendingChoicesForm::Open(this, session_);
}

void TSVWinForm::RebuildKeepingRows() {
    if (closing_) return;
    authorsLater_->stop();
    // New authors, series and genres appear; the user keeps their row.
    QWidget* tab = MainPageControl->currentWidget();
    for (TObjList* list : {&authors_, &series_, &genres_})
        list->Stale = true;
    TSVGrid* grid = ActiveGrid();
    std::unordered_set<const void*> selected;
    if (grid)
        for (const TListObject* row : grid->SelectedList())
            selected.insert(row->Entity());
    // The book list keeps its books and its row while the same entities stay selected.
    keepingRows_ = !selected.empty();
    const ScopeExit done([this] { keepingRows_ = false; });
    if (tab == AuthorsTab) BuildAuthors(true);
    if (tab == SeriesTab) BuildSeries(true);
    if (tab == GenresTab) BuildGenres(true);
    // The rows are new: the ones the user had selected are selected again.
    if (!grid || !grid->Data() || selected.empty()) return;
    size_t again = 0;
    for (int32_t i = 0; i < grid->Data()->Count(); ++i)
        if (TListObject* row = grid->Data()->Get(i); row && selected.count(row->Entity())) {
            row->Selection = 1;
            ++again;
        }
    grid->viewport()->update();
    if (again != selected.size()) selection_->SourceChanged();  // some went: the book list follows
}

// --- closing ---

void TSVWinForm::closeEvent(QCloseEvent* event) {
    if (closing_) return event->accept();
    if (!SavePanelEdits()) return event->ignore();
    const bool last = host_.Windows().size() <= 1;
    if (last && !session_.ConfirmDiscard(this)) return event->ignore();
    try {
        placement_->Save();
        dockTabs_->Save();
    } catch (const EShelvaraError& e) {
        Dialogs::Error(this, ToQ(e.what()));
    }
    closing_ = true;
    for (QPointer<TDockableForm>& panel : panels_)
        if (panel) panel->Detach();
    event->accept();
    session_.RemoveView(this);
    host_.WindowClosing(this);
}

// --- the book panels ---

TDockableForm* TSVWinForm::Panel(int index) const {
    return index >= 0 && index < kPanelCount ? panels_[static_cast<size_t>(index)].data() : nullptr;
}

TBookListForm* TSVWinForm::BookList() const {
    return static_cast<TBookListForm*>(Panel(0));
}

void TSVWinForm::UpdatePanelsMenu() {
    for (int i = 0; i < kPanelCount; ++i)
        commands_->Action("Panel" + std::to_string(i))->setChecked(Panel(i) != nullptr);
}

void TSVWinForm::TogglePanel(int index) {
    Dialogs::Guard(this, [this, index] {
        if (TDockableForm* panel = Panel(index))
            panel->close();  // keeps its edits first; a refusal leaves it open
        else
            OpenPanel(index);
    });
    UpdatePanelsMenu();
}

TDockableForm* TSVWinForm::OpenPanel(int index) {
    if (closing_ || index < 0 || index >= kPanelCount) return nullptr;
    if (TDockableForm* panel = Panel(index)) return panel;
    TDockableForm* panel = nullptr;
    switch (index) {
        case 0:
            panel = new TBookListForm(this, session_, *selection_);
            break;
        case 1:
            panel = new TFastBookInfoForm(this, session_, *selection_);
            break;
        case 2:
            panel = new TBookInfoForm(this, session_, *selection_);
            break;
        case 3:
            panel = new TBookPreviewForm(this, session_, selection_);
            break;
        default:
            return nullptr;
    }
    return InstallPanel(index, panel);
}

TDockableForm* TSVWinForm::InstallPanel(int index, TDockableForm* panel) {
    panels_[static_cast<size_t>(index)] = panel;
    // Told while the panel is half destroyed: the menu is updated once its slot has cleared.
    connect(panel, &QObject::destroyed, this, [this] {
        if (!closing_) QTimer::singleShot(0, this, &TSVWinForm::UpdatePanelsMenu);
    });
    // The book list docks at the bottom with the preview beside it; the information panels share
    // the right side as tabs.
    const bool bottom = index == 0 || index == 3;
    const Qt::DockWidgetArea area = bottom ? Qt::BottomDockWidgetArea : Qt::RightDockWidgetArea;
    TDockableForm* neighbour = nullptr;
    for (const QPointer<TDockableForm>& other : panels_)
        if (other && other != panel && !other->isFloating() && dockWidgetArea(other) == area) neighbour = other;
    addDockWidget(area, panel);
    if (neighbour && bottom) {
        splitDockWidget(neighbour, panel, Qt::Horizontal);
        resizeDocks({neighbour, panel}, {width() / 2, width() / 2}, Qt::Horizontal);
    } else if (neighbour)
        tabifyDockWidget(neighbour, panel);
    for (auto changed : {&QDockWidget::topLevelChanged, &QDockWidget::visibilityChanged})
        connect(panel, changed, dockTabs_, &TDockTabs::LayoutChanged);
    connect(panel, &QDockWidget::dockLocationChanged, dockTabs_, &TDockTabs::LayoutChanged);
    panel->show();
    panel->raise();
    panel->RequestRefresh(0);
    UpdatePanelsMenu();
    return panel;
}

void TSVWinForm::ShowPanel(int index) {
    TDockableForm* panel = OpenPanel(index);
    if (!panel) return;
    panel->show();
    panel->raise();  // a tabbed panel's tab comes to the front
    if (panel->isFloating()) panel->activateWindow();
}

void TSVWinForm::RefreshPanels(int first, int last) {
    if (closing_) return;
    for (int i = first; i <= last; ++i)
        if (TDockableForm* panel = Panel(i)) {
            Dialogs::Guard(this, [panel] { panel->RequestRefresh(0); });
        }
}

void TSVWinForm::CollectBooks(TBookCollection& books) const {
    if (closing_) return;
    TCatalogueGuard guard;
    QWidget* tab = MainPageControl->currentWidget();
    if (TSVGrid* grid = ActiveGrid()) {
        for (TListObject* row : grid->SelectedList())
            if (!grid->IsDoomed(row)) row->CollectBooks(books);
    } else if (tab == DirTreeTab) {
        if (const TBookFolder* folder = MPTree->SelectedFolder()) folder->CollectBooks(books, MPTree->Cumulative());
    } else if (tab == WorkTab) {
        const QString sub = static_cast<QTabWidget*>(WorkTab)->currentWidget()->objectName();
        if (sub == "LostFoundTab") {
            for (const auto& lost : session_.Library().LostBooks)
                books.Add(lost.get());
        } else {
            for (int32_t i = 0; i < duplicates_.Count(); ++i)
                if (const TListObject* row = duplicates_.Get(i); row && row->Selected()) row->CollectBooks(books);
        }
    }
}

bool TSVWinForm::SavePanelEdits() {
    for (const QPointer<TDockableForm>& panel : panels_) {
        QString error;
        if (panel && !panel->SavePendingEdits(error)) {
            Dialogs::Error(this, error);
            return false;
        }
    }
    return true;
}

void TSVWinForm::OpenPanels() {
    if (closing_) return;
    for (int i = 0; i < kPanelCount; ++i)
        if (static_cast<size_t>(i) < openedWindows_.size() && openedWindows_[static_cast<size_t>(i)] == '1')
            OpenPanel(i);
    if (!dockState_.isEmpty()) restoreState(dockState_);
    UpdatePanelsMenu();
}

QString TSVWinForm::RowCountText() const {
    const TSVGrid* grid = ActiveGrid();
    if (!grid || !grid->Data() || grid == FavoritesGrid) return {};
    TSVD& svd = session_.Library();
    const int total = grid == AuthorsGrid  ? static_cast<int>(svd.Authors.Count())
                      : grid == SeriesGrid ? svd.Sequences.NodeCount() - 1
                                           : svd.Genres.NodeCount() - 1;
    return QString::number(grid->Data()->Count()) + " / " + QString::number(total);
}

void TSVWinForm::UpdateRowCount() {
    if (!closing_) rowCount_->setText(RowCountText());
}

QDialog* TSVWinForm::OpenEntityWindow(TSVGrid* grid) {
    const std::vector<TListObject*> rows = grid->SelectedList();
    const void* entity = rows.size() == 1 ? rows.front()->Entity() : nullptr;
    try {
        if (grid == GenresGrid) {
            auto* form = new TGenresForm(this, session_);
            form->show();
            form->SelectGenre(static_cast<const TBookGenre*>(entity));
            return form;
        }
        if (grid == SeriesGrid) {
            auto* form = new TSeqListForm(this, session_);
            form->show();
            form->SelectSeries(static_cast<const TBookSequence*>(entity));
            return form;
        }
        if (grid == AuthorsGrid) {
            auto* form = new TAuthorManageForm(this, session_);
            form->setAttribute(Qt::WA_DeleteOnClose);
            form->OpenFor(static_cast<const TAuthorInfo*>(entity));
            form->show();
            return form;
        }
    } catch (const std::exception& e) {
        Dialogs::Error(this, ToQ(e.what()));
    }
    return nullptr;
}

void TSVWinForm::ShowAuthorInformation() {
    const std::vector<TListObject*> rows = AuthorsGrid->SelectedList();
    if (rows.size() != 1) return;
    auto* dialog = new TAuthorInfoForm(this, static_cast<const TAuthorInfo*>(rows.front()->Entity()));
    if (Dialogs::Script().Active) return dialog->deleteLater();
    dialog->exec();
}
