#include "editor/UndoBuffer.h"

#include "common/Error.h"

const TundoRecord* TUndoBuffer::Add(uint8_t kind, const std::string& data, TTextPos start, TTextPos end,
                                    bool continuesEdit) {
    if (!Enabled) return nullptr;
    while (static_cast<int32_t>(records_.size()) > position_ + 1) {
        dataSize_ -= records_.back().Data.size();
        records_.pop_back();
    }
    records_.push_back({kind, 1, start, end, data, continuesEdit && !records_.empty()});
    dataSize_ += data.size();
    ++position_;
    while (!records_.empty() && (position_ > kMaxIndex || dataSize_ > kMaxData))
        DropOldestEdit();
    return records_.empty() ? nullptr : &records_.back();
}

void TUndoBuffer::DropOldestEdit() {
    // The records that continue the oldest edit go with it.
    do {
        dataSize_ -= records_.front().Data.size();
        records_.pop_front();
        --position_;
    } while (!records_.empty() && records_.front().ContinuesEdit);
}

void TUndoBuffer::Clear() {
    records_.clear();
    position_ = -1;
    dataSize_ = 0;
}

// A replacement (the deletion of the selection and the insertion that took its place) is
// undone and redone as one step, so no half-replaced text is ever shown.
void TUndoBuffer::Undo() {
    if (!CanUndo()) return;
    Enabled = false;
    try {
        bool more = true;
        while (more && position_ >= 0) {
            const TundoRecord& record = records_[static_cast<size_t>(position_)];
            more = record.ContinuesEdit;
            --position_;
            Replay(record, true);
        }
    } catch (...) {
        Enabled = true;
        throw;
    }
    Enabled = true;
}

void TUndoBuffer::Redo() {
    if (!CanRedo()) return;
    Enabled = false;
    try {
        do {
            ++position_;
            Replay(records_[static_cast<size_t>(position_)], false);
        } while (position_ + 1 < static_cast<int32_t>(records_.size()) &&
                 records_[static_cast<size_t>(position_) + 1].ContinuesEdit);
    } catch (...) {
        Enabled = true;
        throw;
    }
    Enabled = true;
}

void TUndoBuffer::Replay(const TundoRecord& r, bool backwards) {
    if (!Editor) return;
    IUndoEditor& e = *Editor;
    switch (r.Kind) {
        case kUndoDeletedSelection:
            if (backwards) {
                e.SetCaret(r.Start);
                e.InsertText(r.Data);
            } else {
                e.Select(r.Start, r.End);
                e.DeleteSelection();
            }
            return;
        case kUndoInserted:
            if (backwards) {
                e.Select(r.Start, r.End);
                e.DeleteSelection();
            } else {
                e.SetCaret(r.Start);
                e.InsertText(r.Data);
            }
            return;
        case kUndoDeletedChar:
            e.SetCaret(r.Start);
            if (backwards)
                e.InsertText(r.Data);
            else
                e.DeleteChar();
            return;
        case kUndoTyped:
            if (backwards) {
                e.SetCaret(r.End);
                e.Backspace();
            } else {
                e.SetCaret(r.Start);
                e.InsertText(r.Data);
            }
            return;
        case kUndoOverwritten: {
            const char before = r.Data.size() > 0 ? r.Data[0] : 0;
            const char after = r.Data.size() > 1 ? r.Data[1] : 0;
            if (!backwards) {
                e.SetCaret(r.Start);
                e.TypeOverwrite(after);
            } else if (before != 0) {
                e.SetCaret(r.Start);
                e.TypeOverwrite(before);
            } else {
                e.SetCaret({r.Start.Col + 1, r.Start.Line});
                e.Backspace();
            }
            return;
        }
        default:
            RaiseFixedError("NOT implemented yet!");
    }
}
