#include "catalogue/cdsort.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <string>

bool sortLikeAdjacentSwaps(std::vector<CD*>& cds) {
    // compareCD folds each byte with tolower (as a signed char) and compares
    // the results as signed chars; the key holds each folded byte shifted into
    // 0..255 so that plain string comparison agrees with it.
    unsigned char fold[256];
    for (int byte = 0; byte < 256; ++byte) {
        auto folded = static_cast<signed char>(tolower(static_cast<signed char>(byte)));
        fold[byte] = static_cast<unsigned char>(folded + 128);
    }
    std::vector<std::string> keys(cds.size());
    for (size_t i = 0; i < cds.size(); ++i) {
        for (const char* c = cds[i]->name; *c; ++c) {
            keys[i].push_back(static_cast<char>(fold[static_cast<unsigned char>(*c)]));
        }
    }
    std::vector<size_t> order(cds.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return keys[a] < keys[b]; });

    // Between a key and a longer one starting with it, every key in sorted
    // order starts with it too, so checking neighbours finds every prefix pair.
    for (size_t i = 1; i < order.size(); ++i) {
        const std::string& shorter = keys[order[i - 1]];
        const std::string& longer = keys[order[i]];
        if (shorter.size() < longer.size() && longer.compare(0, shorter.size(), shorter) == 0) {
            return false;
        }
    }
    std::vector<CD*> sorted(cds.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = cds[order[i]];
    cds.swap(sorted);
    return true;
}

void sortCatalogue(std::vector<CD*>& cds) {
    if (sortLikeAdjacentSwaps(cds)) return;
    // A pass that swaps nothing leaves the order as every later pass would.
    for (size_t pass = 0; pass < cds.size(); ++pass) {
        bool swapped = false;
        for (size_t i = 0; i + 1 < cds.size(); ++i) {
            if (compareCD(cds[i], cds[i + 1])) {
                std::swap(cds[i], cds[i + 1]);
                swapped = true;
            }
        }
        if (!swapped) return;
    }
}
