#include "catalogue/ListBuilders.h"

#include "catalogue/AuthorList.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookSequence.h"
#include "catalogue/ListObjects.h"
#include "catalogue/SVD.h"
#include "common/Error.h"
#include "common/TextUtils.h"

std::string TListFilter::SearchText() const {
    return AnsiLowerCase(Extended ? RepairMixedScript(Text) : Text);
}

namespace {

constexpr unsigned RoleSet(std::initializer_list<int> roles) {
    unsigned set = 0;
    for (int role : roles)
        set |= 1u << role;
    return set;
}

void AddRoles(TRoleCheck check, unsigned roles, unsigned& select, unsigned& reject) {
    if (check == TRoleCheck::Checked) select |= roles;
    if (check == TRoleCheck::Unchecked) reject |= roles;
}

// Found and not rejected, scanning spellings and links from the last.
bool AuthorListed(const TAuthorInfo& author, unsigned select, unsigned reject) {
    if (select == 0) return false;
    bool found = false;
    for (size_t n = author.Count(); n-- > 0;) {
        const TBookLinks& links = author.Name(n)->Links;
        for (size_t i = links.Count(); i-- > 0;) {
            const unsigned role = links[i].Role < 8 ? 1u << links[i].Role : 0;
            if (reject != 0 && (role & reject)) return false;
            if (role & select) {
                found = true;
                if (reject == 0) return true;
            }
        }
    }
    return found;
}

bool RowKept(const TListObject& row, const TListFilter& filter, const std::string& text, bool anyColumnAtOnce) {
    if (!filter.Active()) return true;
    if (filter.Column >= 0) return row.Matches(filter.Column, filter.Extended, text);
    if (anyColumnAtOnce) return row.Matches(-1, filter.Extended, text);
    for (int c = row.ColumnCount(); c-- > 0;)
        if (row.Matches(c, filter.Extended, text)) return true;
    return false;
}

template <typename Node, typename Row>
void AddTree(Node& node, const TListFilter& filter, const std::string& text, TObjList& rows) {
    for (size_t i = 0; i < node.Count(); ++i) {
        Node* child = node.Child(i);
        bool listed = true;
        if constexpr (std::is_same_v<Node, TBookGenre>) listed = !child->IsHidden();
        if (listed) {
            auto row = std::make_unique<Row>(child);
            if (RowKept(*row, filter, text, false)) rows.Add(std::move(row));
        }
        AddTree<Node, Row>(*child, filter, text, rows);
    }
}

// Refills rows as one change, told even when nothing is left.
template <typename Fill>
void Rebuild(TObjList& rows, const TRowClass& rowClass, bool keepPlace, Fill&& fill) {
    rows.BeginUpdate();
    rows.Clear();
    rows.Fresh = !keepPlace;
    rows.RowClass = &rowClass;
    try {
        fill();
    } catch (...) {
        rows.Changed(kRowsChanged);  // the rows read so far are shown; the update ends either way
        rows.EndUpdate();
        throw;
    }
    rows.Stale = false;
    rows.Changed(kRowsChanged);
    rows.EndUpdate();
}

}  // namespace

void BuildAuthorRows(TSVD& svd, const TAuthorRoleChecks& roles, const TListFilter& filter, TObjList& rows,
                     bool keepPlace) {
    unsigned select = 0, reject = 0;
    AddRoles(roles.Authors, RoleSet({1, 3}), select, reject);
    AddRoles(roles.Translators, RoleSet({2, 4}), select, reject);
    AddRoles(roles.Designers, RoleSet({5}), select, reject);
    const std::string text = filter.SearchText();
    Rebuild(rows, TAuthorListObject::Class, keepPlace, [&] {
        for (size_t i = 0; i < svd.Authors.Count(); ++i) {
            TAuthorInfo* author = svd.Authors.Author(i);
            if (!author) RaiseFixedError("Not implemented yet... Sorry.");
            if (!AuthorListed(*author, select, reject)) continue;
            auto row = std::make_unique<TAuthorListObject>(author);
            if (RowKept(*row, filter, text, true)) rows.Add(std::move(row));
        }
        if (roles.NoAuthor == TRoleCheck::Checked && !filter.Active())
            rows.Insert(0, std::make_unique<TAuthorListObject>(svd.Authors.Placeholder()));
    });
}

void BuildSequenceRows(TSVD& svd, const TListFilter& filter, TObjList& rows, bool keepPlace) {
    Rebuild(rows, TSequenceListObject::Class, keepPlace,
            [&] { AddTree<TBookSequence, TSequenceListObject>(svd.Sequences, filter, filter.SearchText(), rows); });
}

void BuildGenreRows(TSVD& svd, const TListFilter& filter, TObjList& rows, bool keepPlace) {
    Rebuild(rows, TGenreListObject::Class, keepPlace,
            [&] { AddTree<TBookGenre, TGenreListObject>(svd.Genres, filter, filter.SearchText(), rows); });
}
