#pragma once

#include <string>

#include "catalogue/ObjList.h"

class TSVD;

// A list filter as the main window's filter boxes give it.
struct TListFilter {
    std::string Text;  // as typed (engine text)
    int Column = -1;   // a column of the row class, or -1 for every column
    bool Extended = false;

    bool Active() const { return !Text.empty(); }
    // The text rows are matched with: lower case, after the mixed-script repair when extended.
    std::string SearchText() const;
};

// The state of a tri-state role box: checked selects its roles, unchecked rejects them,
// grayed does neither.
enum class TRoleCheck : uint8_t { Unchecked = 0, Checked = 1, Grayed = 2 };

struct TAuthorRoleChecks {
    TRoleCheck Authors = TRoleCheck::Checked;     // roles 1 and 3
    TRoleCheck Translators = TRoleCheck::Grayed;  // roles 2 and 4
    TRoleCheck Designers = TRoleCheck::Grayed;    // role 5
    TRoleCheck NoAuthor = TRoleCheck::Grayed;     // the placeholder row of books without author
};

// Fills rows (cleared first, within one update) with the authors the role boxes and the
// filter let through; the placeholder author comes first when "no author" is checked and no
// filter is active.
// With keepPlace the grid keeps the user's row and sort (a rebuild after a resynchronisation).
void BuildAuthorRows(TSVD& svd, const TAuthorRoleChecks& roles, const TListFilter& filter, TObjList& rows,
                     bool keepPlace = false);
// Series and genres depth-first (hidden genres get no row, their sub-genres do); a row is kept
// when some column (from the last) or the filter's column matches.
void BuildSequenceRows(TSVD& svd, const TListFilter& filter, TObjList& rows, bool keepPlace = false);
void BuildGenreRows(TSVD& svd, const TListFilter& filter, TObjList& rows, bool keepPlace = false);
