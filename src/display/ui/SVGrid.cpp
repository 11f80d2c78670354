#include "display/ui/SVGrid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>

#include "catalogue/CatalogueLock.h"
#include "catalogue/CellValue.h"
#include "common/Error.h"
#include "settings/ui/IniPlacement.h"
#include "settings/ui/QtText.h"

// The table model over the bound row list: cells by column id, colours by the rows' flags.
class TSVGridModel final : public QAbstractTableModel {
public:
    explicit TSVGridModel(TSVGrid* grid) : QAbstractTableModel(grid), grid_(grid) {}

    void Reset(const std::function<void()>& change) {
        beginResetModel();
        change();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        if (parent.isValid()) return 0;
        const TObjList* list = grid_->Data();
        return list ? std::max(list->Count(), 1) : 1;  // an empty list shows one blank row
    }

    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(grid_->Columns().Count());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        TCatalogueGuard guard;  // a background resynchronisation may be changing the catalogue
        const TListObject* row = grid_->ObjectAt(index.row());
        if (row && grid_->IsDoomed(row)) row = nullptr;
        switch (role) {
            case Qt::DisplayRole: {
                if (!row || index.column() >= columnCount({})) return {};
                return ToQ(CellText(row->GetValue(grid_->Columns().Columns[static_cast<size_t>(index.column())].Id)));
            }
            case Qt::BackgroundRole:
            case Qt::ForegroundRole: {
                const bool selected = row && row->Selected();
                QColor brush = grid_->RowBackground(index.row(), selected);
                QColor text = grid_->palette().color(selected ? QPalette::HighlightedText : QPalette::Text);
                if (grid_->OnGetColors) grid_->OnGetColors(index.column(), index.row(), text, brush, selected);
                return role == Qt::BackgroundRole ? brush : text;
            }
            case Qt::TextAlignmentRole:
                return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
            default:
                return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        const TObjList* list = grid_->Data();
        if (!list || !list->RowClass || section >= columnCount({})) return {};
        return ToQ(list->RowClass->ColumnCaption(grid_->Columns().Columns[static_cast<size_t>(section)].Id));
    }

    void ColumnsChanged() {
        Reset([] {});
    }
    void RowsRepainted() {
        if (rowCount({}) > 0 && columnCount({}) > 0)
            emit dataChanged(index(0, 0), index(rowCount({}) - 1, columnCount({}) - 1));
    }

private:
    TSVGrid* grid_;
};

TSVGrid::TSVGrid(QWidget* parent) : QTableView(parent), model_(new TSVGridModel(this)) {
    setModel(model_);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setAlternatingRowColors(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->viewport()->installEventFilter(this);
    base_ = palette().color(QPalette::ToolTipBase);
    connect(header, &QHeaderView::sectionMoved, this, [this] {
        if (!syncing_) QTimer::singleShot(0, this, [this] { SyncColumnsFromHeader(); });
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (!syncing_) cols_.SetWidth(static_cast<size_t>(horizontalHeader()->visualIndex(logical)), size);
    });
}

TSVGrid::~TSVGrid() {
    if (list_ && list_->View == this) list_->View = nullptr;
}

void TSVGrid::SetData(TObjList* list) {
    if (list == list_) return;
    if (list_ && list_->View == this) list_->View = nullptr;
    list_ = list;
    if (list_) list_->View = this;
    doomed_.clear();
    ListChanged(kRowsChanged);
}

void TSVGrid::RemoveEntityLater(const void* entity) {
    if (doomed_.empty()) QTimer::singleShot(0, this, [this] { RemoveDoomed(); });
    doomed_.insert(entity);
    Refresh();
}

void TSVGrid::RemoveDoomed() {
    if (doomed_.empty()) return;
    if (list_) {
        const bool fresh = list_->Fresh;
        list_->Fresh = false;  // the user stays where they were
        list_->RemoveIf([this](const TListObject* row) { return doomed_.count(row->Entity()) != 0; });
        list_->Fresh = fresh;
    }
    doomed_.clear();
    Refresh();
}

void TSVGrid::ListDetached() {
    doomed_.clear();
    model_->Reset([this] { list_ = nullptr; });
    current_ = nullptr;
    emit DataChanged();
}

void TSVGrid::SetStriped(bool striped) {
    if (striped == striped_) return;
    striped_ = striped;
    viewport()->update();
}

void TSVGrid::SetBaseColor(const QColor& color) {
    base_ = color;
    viewport()->update();
}

QColor TSVGrid::RowBackground(int index, bool selected) const {
    const QColor color = selected ? palette().color(QPalette::Highlight) : base_;
    // Every second data row, counted from the first.
    if (!striped_ || index % 2 == 0) return color;
    const uint32_t rgb = StripedColor(color.rgb() & 0xFFFFFF);
    return QColor::fromRgb(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF);
}

TListObject* TSVGrid::ObjectAt(int index) const {
    if (!list_ || index < 0 || index >= list_->Count()) return nullptr;
    return list_->Get(index);
}

int TSVGrid::CurrentIndex() const {
    const int row = currentIndex().row();
    return list_ && row >= 0 && row < list_->Count() ? row : -1;
}

TListObject* TSVGrid::CurrentObject() const {
    return ObjectAt(CurrentIndex());
}

void TSVGrid::SetCurrentIndex(int index) {
    if (!list_ || list_->Count() == 0) return;
    index = std::clamp(index, 0, list_->Count() - 1);
    setCurrentIndex(model_->index(index, std::max(currentIndex().column(), 0)));
    if (const TListObject* row = ObjectAt(index)) current_ = row->Entity();
}

int TSVGrid::SelectedCount() const {
    return list_ ? list_->SelectedCount() : 0;
}

TListObject* TSVGrid::FirstSelected() const {
    if (!MultiSelect) return CurrentObject();
    return list_ ? list_->FirstSelected() : nullptr;
}

std::vector<TListObject*> TSVGrid::SelectedList() const {
    std::vector<TListObject*> rows;
    if (!MultiSelect) {
        if (TListObject* row = CurrentObject()) rows.push_back(row);
        return rows;
    }
    for (int32_t i = 0; list_ && i < list_->Count(); ++i)
        if (TListObject* row = list_->Get(i); row && row->Selected()) rows.push_back(row);
    return rows;
}

void TSVGrid::SelectOnlyRow(int index) {
    if (!list_ || list_->Count() == 0) return;
    SelectOnly(*list_, index);
    viewport()->update();
}

// --- columns ---

void TSVGrid::ApplyColumns() {
    const int current = CurrentIndex();
    model_->ColumnsChanged();
    ApplyHeader();
    if (current >= 0) SetCurrentIndex(current);
}

// The header after a model reset: the widths of the positions and the sort arrow.
void TSVGrid::ApplyHeader() {
    syncing_ = true;
    for (size_t i = 0; i < cols_.Count(); ++i)
        horizontalHeader()->resizeSection(static_cast<int>(i), cols_.Width(i));
    syncing_ = false;
    const int position = sortColumn_ >= 0 ? cols_.FindById(sortColumn_) : -1;
    horizontalHeader()->setSortIndicatorShown(position >= 0);
    // Qt draws its ascending order as a down arrow; ascending here shows the up arrow.
    if (position >= 0)
        horizontalHeader()->setSortIndicator(position, descending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

// Columns still at the default width become as wide as their caption and the first rows'
// texts need, within limits; widths a user set stay.
void TSVGrid::FitDefaultWidths() {
    const QFontMetrics metrics(font());
    const int rows = std::min<int32_t>(list_->Count(), 100);
    for (size_t i = 0; i < cols_.Count(); ++i) {
        if (cols_.Width(i) != TSVGridCols::kDefaultWidth) continue;
        const int id = cols_.Columns[i].Id;
        int width = metrics.horizontalAdvance(ToQ(list_->RowClass->ColumnCaption(id)).trimmed()) + 16;
        for (int r = 0; r < rows; ++r)
            if (const TListObject* row = list_->Get(r))
                width = std::max(width, metrics.horizontalAdvance(ToQ(CellText(row->GetValue(id)))) + 10);
        cols_.SetWidth(i, std::clamp(width, 40, 320));
    }
}

void TSVGrid::SyncColumnsFromHeader() {
    QHeaderView* header = horizontalHeader();
    TSVGridCols moved;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (logical < 0 || logical >= static_cast<int>(cols_.Count())) return;
        moved.Columns.push_back(cols_.Columns[static_cast<size_t>(logical)]);
        moved.SetWidth(static_cast<size_t>(visual), header->sectionSize(logical));
    }
    cols_ = moved;
    syncing_ = true;
    for (int visual = 0; visual < header->count(); ++visual)
        header->moveSection(header->visualIndex(visual), visual);  // logical order = display order again
    syncing_ = false;
    ApplyColumns();
}

void TSVGrid::SetLayoutString(const std::string& text) {
    widthsFitted_ = false;  // stored widths stand; those never set are fitted to the first rows
    cols_.SetLayoutString(text);
    ApplyColumns();
}

void TSVGrid::AttachPlacement(TIniPlacement* placement) {
    placement->AddLink([this](TFormState& state) { state.Write(FromQ(objectName()) + "_cols", LayoutString()); },
                       [this](TFormState& state) {
                           const std::string text = state.Read(FromQ(objectName()) + "_cols");
                           if (text.empty()) return;
                           try {
                               SetLayoutString(text);
                           } catch (const EShelvaraError&) {
                               cols_.Clear();  // the default columns come with the next data change
                           }
                       });
}

void TSVGrid::FillColumnsMenu(QMenu* menu) {
    menu->clear();
    if (!list_ || !list_->RowClass) return;
    for (int id = 0; id < list_->RowClass->ColumnCount(); ++id) {
        QAction* action = menu->addAction(ToQ(list_->RowClass->ColumnCaption(id)).trimmed());
        action->setCheckable(true);
        action->setChecked(cols_.FindById(id) >= 0);
        connect(action, &QAction::triggered, this, [this, id](bool) {
            if (cols_.FindById(id) >= 0)
                cols_.RemoveById(id);
            else
                cols_.AddById(id);
            ApplyColumns();
        });
    }
}

// --- sorting ---

TRowOrder TSVGrid::Order() const {
    TRowOrder order;
    order.SortColumn = sortColumn_;
    order.Descending = descending_;
    for (const TSVGridColumn& column : cols_.Columns)
        order.Columns.push_back(column.Id);
    return order;
}

void TSVGrid::SortByColumn(int position) {
    if (position < 0 || position >= static_cast<int>(cols_.Count())) return;
    const int id = cols_.Columns[static_cast<size_t>(position)].Id;
    if (id != sortColumn_) {
        sortColumn_ = id;
        descending_ = false;
    } else {
        descending_ = !descending_;
    }
    const int before = currentIndex().row();
    model_->Reset([this] { Resort(); });
    ApplyHeader();
    // The user's row stays current, but the view shows the top of the sorted list.
    const bool scrolls = hasAutoScroll();
    setAutoScroll(false);
    RestoreCurrent(before);
    setAutoScroll(scrolls);
    scrollToTop();
    Refresh();
}

void TSVGrid::Resort() {
    // Bounded by the row class's columns, so a hidden column still sorts.
    if (!list_ || !list_->RowClass || sortColumn_ < 0 || sortColumn_ >= list_->RowClass->ColumnCount()) return;
    const TRowOrder order = Order();
    TCatalogueGuard guard;
    try {
        list_->Sort([&order](const TListObject* a, const TListObject* b) { return CompareRows(*a, *b, order); });
    } catch (const EShelvaraError& e) {
        emit SortFailed(ToQ(e.what()));
    }
}

void TSVGrid::PlaceAddedRow(int32_t added) {
    // The other rows are sorted: a binary search finds the new row's place.
    const TRowOrder order = Order();
    const TListObject* row = list_->Get(added);
    int32_t lo = 0, hi = list_->Count() - 1;  // over the list without the added row
    auto at = [&](int32_t i) { return list_->Get(i < added ? i : i + 1); };
    try {
        while (lo < hi) {
            const int32_t mid = lo + (hi - lo) / 2;
            if (CompareRows(*at(mid), *row, order) <= 0)
                lo = mid + 1;
            else
                hi = mid;
        }
    } catch (const EShelvaraError& e) {
        emit SortFailed(ToQ(e.what()));
        return;
    }
    list_->Move(added, lo);
}

// --- changes ---

void TSVGrid::ListChanged(TListChange kind) {
    TCatalogueGuard guard;  // sorting and measuring read the catalogue
    const int before = currentIndex().row();
    model_->Reset([&] {
        if (!list_) return;
        if (cols_.Count() == 0 && list_->RowClass) {
            cols_.BuildDefault(list_->RowClass->ColumnCount());
            for (int id : list_->RowClass->HiddenByDefault)
                cols_.RemoveById(id);
            widthsFitted_ = false;
        }
        // Default columns take the width their first rows need, once there are rows.
        if (!widthsFitted_ && list_->Count() > 0) {
            FitDefaultWidths();
            widthsFitted_ = true;
        }
        // Rows rebuilt (a filter, a load) keep the order the user chose: sorted again below.
        if (list_->Fresh) doomed_.clear();  // rebuilt from the catalogue: no row of a freed entity is left
        const int32_t added = list_->AddedRow();
        if (added >= 0 && added < list_->Count()) doomed_.erase(list_->Get(added)->Entity());  // an address reused
        const bool sorted = sortColumn_ >= 0 && list_->RowClass && sortColumn_ < list_->RowClass->ColumnCount();
        if (kind == kRowAdded && added >= 0 && sorted)
            PlaceAddedRow(added);  // not a whole sort for one row
        else if (kind != kRowsRemoved)
            Resort();
    });
    ApplyHeader();
    if (list_ && list_->Fresh) {
        scrollToTop();
        SetCurrentIndex(0);
        SelectOnlyRow(0);
    } else {
        RestoreCurrent(before);
    }
    Refresh();
    emit DataChanged();
}

// Back to the row the user was on, found by identity (first next to where it was: one row
// added or removed before it); else the same place.
void TSVGrid::RestoreCurrent(int before) {
    if (!list_ || list_->Count() == 0) return;
    int place = -1;
    for (int near : {before, before + 1, before - 1})
        if (place < 0 && near >= 0 && near < list_->Count() && list_->Get(near)->Entity() == current_) place = near;
    for (int32_t i = 0; current_ && place < 0 && i < list_->Count(); ++i)
        if (list_->Get(i)->Entity() == current_) place = i;
    SetCurrentIndex(place >= 0 ? place : before);
}

void TSVGrid::Refresh() {
    viewport()->update();
}

// --- mouse and keys ---

int TSVGrid::RowAt(const QPoint& pos) const {
    const int row = rowAt(pos.y());
    return list_ && row >= 0 && row < list_->Count() ? row : -1;
}

void TSVGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // The menu acts on the row under the pointer: a row outside the selection becomes it.
        const int row = RowAt(event->pos());
        if (row < 0 || list_->Get(row)->Selected()) return;
        SelectOnly(*list_, row);
        return MakeCurrent(row, event->pos());
    }
    if (event->button() != Qt::LeftButton) return;  // other buttons do nothing
    const int row = RowAt(event->pos());
    if (row < 0) return;
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & Qt::ControlModifier) {
        ToggleRow(*list_, row, MultiSelect);
    } else if (mods & Qt::ShiftModifier) {
        SelectRange(*list_, std::max(CurrentIndex(), 0), row, MultiSelect);
    } else if (list_->Get(row)->Selected()) {
        dragPending_ = true;
        pressPos_ = event->pos();
    } else {
        SelectOnly(*list_, row);
    }
    MakeCurrent(row, event->pos());
}

void TSVGrid::MakeCurrent(int row, const QPoint& pos) {
    setCurrentIndex(model_->index(row, std::max(columnAt(pos.x()), 0)));
    current_ = list_->Get(row)->Entity();
    Refresh();
    emit SelectionChanged();
}

void TSVGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    // The press above selects by itself, so Qt's view never saw the press its own double click
    // needs: the double click is told here, for the row under the pointer.
    if (event->button() != Qt::LeftButton || !list_) return;
    const int row = RowAt(event->pos());
    if (row < 0) return;
    if (!list_->Get(row)->Selected() || SelectedCount() != 1) {
        // Ctrl's first press toggled the row in or out of the selection; the double click means
        // this row alone.
        SelectOnly(*list_, row);
        MakeCurrent(row, event->pos());
    }
    doubleClickModifiers_ = event->modifiers();
    emit doubleClicked(model_->index(row, std::max(columnAt(event->pos().x()), 0)));
}

void TSVGrid::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || !list_) return;
    if (dragPending_) {
        const QPoint d = event->pos() - pressPos_;
        if (std::abs(d.x()) > 5 || std::abs(d.y()) > 5) {
            dragPending_ = false;
            auto* drag = new QDrag(this);
            auto* mime = new QMimeData;
            mime->setData("application/x-shelvara-rows", QByteArray::number(SelectedCount()));
            drag->setMimeData(mime);
            drag->exec(Qt::MoveAction | Qt::CopyAction);
        }
        return;
    }
    const int row = RowAt(event->pos());
    if (row < 0) return;
    if (MultiSelect)
        list_->Get(row)->Selection |= 1;
    else
        SelectOnly(*list_, row);
    Refresh();
    emit SelectionChanged();
}

void TSVGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int row = RowAt(event->pos());
    if (dragPending_ && row >= 0) {
        SelectOnly(*list_, row);
        Refresh();
        emit SelectionChanged();
    }
    dragPending_ = false;
}

void TSVGrid::keyPressEvent(QKeyEvent* event) {
    if (!list_ || list_->Count() == 0) return QTableView::keyPressEvent(event);
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll(*list_);
        Refresh();
        emit SelectionChanged();
        return;
    }
    const int before = std::max(CurrentIndex(), 0);
    QTableView::keyPressEvent(event);
    const int after = std::max(CurrentIndex(), 0);
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
        case Qt::Key_Home:
            SelectOnly(*list_, 0);
            SetCurrentIndex(0);
            break;
        case Qt::Key_End:
            SelectOnly(*list_, list_->Count() - 1);
            SetCurrentIndex(list_->Count() - 1);
            break;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (shift)
                list_->Get(after)->Selection |= 1;
            else
                SelectOnly(*list_, after);
            break;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            if (shift)
                SelectRange(*list_, before, after, MultiSelect);
            else
                SelectOnly(*list_, after);
            break;
        default:
            return;
    }
    if (const TListObject* row = CurrentObject()) current_ = row->Entity();
    Refresh();
    emit SelectionChanged();
}

bool TSVGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport()) {
        const bool press = event->type() == QEvent::MouseButtonPress;
        const bool release = event->type() == QEvent::MouseButtonRelease;
        auto* mouse = press || release ? static_cast<QMouseEvent*>(event) : nullptr;
        if (press && mouse->button() == Qt::LeftButton) {
            headerPress_ = mouse->pos();
        } else if (release && mouse->button() == Qt::LeftButton) {
            // A sort only when the button comes up where it went down (not after a resize or move).
            const QPoint d = mouse->pos() - headerPress_;
            if (headerPress_.x() >= 0 && std::abs(d.x()) <= 5 && std::abs(d.y()) <= 5) {
                const int logical = horizontalHeader()->logicalIndexAt(mouse->pos());
                if (logical >= 0)
                    QTimer::singleShot(0, this,
                                       [this, logical] { SortByColumn(horizontalHeader()->visualIndex(logical)); });
            }
            headerPress_ = {-1, -1};
        }
    }
    return QTableView::eventFilter(watched, event);
}
