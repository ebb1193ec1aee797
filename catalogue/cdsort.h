// The catalogue's sort order and filter, computed in O(n log n).
#pragma once

#include <string>
#include <vector>

#include "disc/cd.h"

// The text a name sorts and filters by: the case-folded name
// (g_utf8_casefold) when it is valid UTF-8, else its bytes with ASCII letters
// in lower case. Keys compare as unsigned bytes, which for UTF-8 is
// character by character in code-point order; ASCII names keep the order of
// their lower-case bytes.
std::string cdsortKey(const char* name);

// Puts cds in the order that n passes of adjacent swaps with compareCD give
// (a stable sort by key). That order depends on the input order as well when
// one key is a proper prefix of another; then cds is left as it is and the
// result is false.
bool sortLikeAdjacentSwaps(std::vector<CD*>& cds);

// Sorts cds into that order whatever the names: the fast sort where it gives
// it, else passes of adjacent swaps until one swaps nothing. Each name is
// folded once.
void sortCatalogue(std::vector<CD*>& cds);
