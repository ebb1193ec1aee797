// The CD list's rows as plain strings (full paths): the edits that turn the
// shown rows into a new list, and the row the cursor goes to.
#pragma once

#include <string>
#include <vector>

// One edit of the shown rows. Remove drops the row at position row; Insert
// puts the new list's row number row at position row.
struct CdrowsEdit {
    enum Kind { Remove, Insert } kind;
    int row;
};

// Edits that, applied in order, turn shown into wanted. Rows of shown that
// wanted keeps in the same order stay untouched, so that narrowing a list to
// a subsequence of itself only removes rows. Rows may repeat.
std::vector<CdrowsEdit> cdrowsDiff(const std::vector<std::string>& shown,
                                   const std::vector<std::string>& wanted);

// The last row equal to current, or -1 when none is.
int cdrowsCursor(const std::vector<std::string>& rows, const std::string& current);
