// The catalogue's sort order, computed in O(n log n).
#pragma once

#include <vector>

#include "catalogue/cd.h"

// Puts cds in the order that n passes of adjacent swaps with compareCD give
// (a stable sort by name, letter case folded). That order depends on the input
// order as well when one name is a proper prefix of another ignoring case;
// then cds is left as it is and the result is false.
bool sortLikeAdjacentSwaps(std::vector<CD*>& cds);

// Sorts cds into that order whatever the names: the fast sort where it gives
// it, else passes of adjacent swaps until one swaps nothing.
void sortCatalogue(std::vector<CD*>& cds);
