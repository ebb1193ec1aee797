#include "catalogue/cdsort.h"

#include <glib.h>

#include <algorithm>
#include <numeric>
#include <string>

namespace {

// 1 when key a sorts strictly after key b; a key that begins the other is not after it.
int keyAfter(const std::string& a, const std::string& b) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x > y ? 1 : 0;
    }
    return 0;
}

std::vector<std::string> keysOf(const std::vector<CD*>& cds) {
    std::vector<std::string> keys;
    keys.reserve(cds.size());
    for (const CD* cd : cds) keys.push_back(cdsortKey(cd->name));
    return keys;
}

}  // namespace

std::string cdsortKey(const char* name) {
    std::string key(name);
    bool ascii = true;
    for (char& c : key) {
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
        c = g_ascii_tolower(c);
    }
    // Folding ASCII gives its lower case, so only other names need GLib.
    if (ascii || !g_utf8_validate(name, -1, nullptr)) return key;
    gchar* folded = g_utf8_casefold(name, -1);
    key = folded;
    g_free(folded);
    return key;
}

int compareCD(void* a, void* b) {
    return keyAfter(cdsortKey(static_cast<CD*>(a)->name), cdsortKey(static_cast<CD*>(b)->name));
}

namespace {

// The fast sort on keys already made; false (order left alone) where keys
// that begin others make the result depend on the input order.
bool sortByKeys(std::vector<CD*>& cds, const std::vector<std::string>& keys) {
    std::vector<size_t> order(cds.size());
    std::iota(order.begin(), order.end(), 0);
    // std::string compares its bytes unsigned, as keyAfter does.
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
    // The keys stay in the old order: nothing uses them after a sort that worked.
    std::vector<CD*> sorted(cds.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = cds[order[i]];
    cds.swap(sorted);
    return true;
}

}  // namespace

bool sortLikeAdjacentSwaps(std::vector<CD*>& cds) {
    std::vector<std::string> keys = keysOf(cds);
    return sortByKeys(cds, keys);
}

void sortCatalogue(std::vector<CD*>& cds) {
    std::vector<std::string> keys = keysOf(cds);
    if (sortByKeys(cds, keys)) return;
    // A pass that swaps nothing leaves the order as every later pass would.
    for (size_t pass = 0; pass < cds.size(); ++pass) {
        bool swapped = false;
        for (size_t i = 0; i + 1 < cds.size(); ++i) {
            if (keyAfter(keys[i], keys[i + 1])) {
                std::swap(cds[i], cds[i + 1]);
                std::swap(keys[i], keys[i + 1]);
                swapped = true;
            }
        }
        if (!swapped) return;
    }
}
