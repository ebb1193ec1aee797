// The catalogue's fast sort against the adjacent-swap sort it replaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "catalogue/cdsort.h"
#include "containers/linkedlist.h"

namespace {

void releaseCD(void* cd) { CDDestructor(static_cast<CD*>(cd)); }

CD* newCD(const std::string& name) {
    CD* cd = static_cast<CD*>(malloc(sizeof(CD)));
    cd->name = strdup(name.c_str());
    cd->path = strdup("/x/");
    return cd;
}

// Short names over a small alphabet, so that prefixes (ignoring case), names
// equal but for case, letters beyond ASCII and bytes that are not UTF-8 all
// turn up often. Names of one length are never proper prefixes of each other.
std::string randomName(std::mt19937& rng, int length = -1, bool ascii = false) {
    static const char* const alphabet[] = {"a", "A", "b", "B", ".", "z", "0", "\x80",
                                           "é", "É", "ж", "Ж", "σ", "Σ", "ς", "\xff"};
    std::string name;
    // The first seven are ASCII.
    size_t letters = ascii ? 7 : sizeof alphabet / sizeof alphabet[0];
    for (length = length < 0 ? rng() % 5 : length; length > 0; --length) {
        name += alphabet[rng() % letters];
    }
    return name;
}

// The order names had when bytes were folded with tolower and compared as
// signed chars: ASCII names keep it.
int compareAsBytesBefore(void* a, void* b) {
    const char* x = static_cast<CD*>(a)->name;
    const char* y = static_cast<CD*>(b)->name;
    for (; *x && *y; ++x, ++y) {
        auto fx = static_cast<signed char>(tolower(static_cast<signed char>(*x)));
        auto fy = static_cast<signed char>(tolower(static_cast<signed char>(*y)));
        if (fx != fy) return fx > fy ? 1 : 0;
    }
    return 0;
}

bool hasProperPrefixIgnoringCase(const std::vector<CD*>& cds) {
    for (const CD* a : cds) {
        for (const CD* b : cds) {
            std::string ka = cdsortKey(a->name), kb = cdsortKey(b->name);
            if (ka.size() < kb.size() && kb.compare(0, ka.size(), ka) == 0) return true;
        }
    }
    return false;
}

// Names sort by their case-folded text in code-point order, stably; a name
// that is not UTF-8 by its bytes. ASCII names keep the order of their
// lower-case bytes, punctuation included.
TEST(CatalogueSort, FoldsCaseBeyondLatinAndOrdersByCodePoint) {
    // clang-format off
    const std::vector<std::string> input = {
        "Покемон Стадион", "zeta", "Élan", "ёлка", "ΩMEGA", "_under", "Alpha", "bad\xff\xfe",
        "[tag]", "élan", "Zeta", "ωmega", "9lives", "Ñandú", "ПОКЕМОН СТАДИОН", "bAD\xff",
        "Ärger", "alpha", "σίσυφος"};
    const std::vector<std::string> expected = {
        "9lives", "[tag]", "_under", "Alpha", "alpha", "bad\xff\xfe", "bAD\xff", "zeta", "Zeta",
        "Ärger", "Élan", "élan", "Ñandú", "σίσυφος", "ΩMEGA", "ωmega", "Покемон Стадион",
        "ПОКЕМОН СТАДИОН", "ёлка"};
    // clang-format on
    std::vector<CD*> cds;
    for (const std::string& name : input) cds.push_back(newCD(name));
    sortCatalogue(cds);
    std::vector<std::string> sorted;
    for (CD* cd : cds) {
        sorted.push_back(cd->name);
        CDDestructor(cd);
    }
    EXPECT_EQ(sorted, expected);
}

TEST(CatalogueSort, GivesTheOrderOfTheAdjacentSwapSort) {
    linkedListSystemInit();
    std::mt19937 rng(20261208);
    int fast = 0, fallback = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        int reference = linkedListRegister(reinterpret_cast<void*>(&releaseCD));
        std::vector<CD*> cds;
        for (int n = rng() % 30; n > 0; --n) {
            cds.push_back(newCD(randomName(rng, trial % 2 ? -1 : 3, trial % 4 < 2)));
            linkedListAppend(reference, cds.back());
        }
        // ASCII names sort as they always did.
        linkedListSort(reference, trial % 4 < 2 ? compareAsBytesBefore : compareCD);
        std::vector<CD*> expected;
        linkedListToStart(reference);
        for (size_t i = 0; i < cds.size(); ++i, linkedListToNext(reference)) {
            expected.push_back(static_cast<CD*>(linkedListGet(reference)));
        }

        std::vector<CD*> sorted = cds;
        if (sortLikeAdjacentSwaps(sorted)) {
            ++fast;
            ASSERT_EQ(sorted, expected) << "trial " << trial;
        } else {
            ++fallback;
            ASSERT_EQ(sorted, cds);
            ASSERT_TRUE(hasProperPrefixIgnoringCase(cds)) << "trial " << trial;
            sortCatalogue(sorted);
            ASSERT_EQ(sorted, expected) << "trial " << trial;
        }
        linkedListUnregister(&reference);
    }
    EXPECT_GT(fast, 1500);
    EXPECT_GT(fallback, 500);
    linkedListSystemShutdown();
}

// Prefix names ("n1", "n10", ...) in order but for one name that the first
// pass carries to the end: the passes stop at the second, where n passes of
// n comparisons would take minutes.
TEST(CatalogueSort, PrefixNamesStopAtThePassThatSwapsNothing) {
    std::vector<std::string> names;
    for (int i = 0; i < 100000; ++i) names.push_back("n" + std::to_string(i));
    std::sort(names.begin(), names.end());
    std::vector<CD*> cds{newCD("zz")};
    for (const std::string& name : names) cds.push_back(newCD(name));
    std::vector<CD*> expected(cds.begin() + 1, cds.end());
    expected.push_back(cds.front());
    sortCatalogue(cds);
    EXPECT_TRUE(cds == expected);
    for (CD* cd : cds) CDDestructor(cd);
}

// Through the catalogue: the device list takes the same order, with or
// without names that are prefixes of others.
TEST(CatalogueSort, DevicesAreSortedAsTheAdjacentSwapSortWould) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 300; ++trial) {
        linkedListSystemInit();
        cdsearchInit();
        int reference = linkedListRegister(reinterpret_cast<void*>(&releaseCD));
        for (int n = rng() % 40; n > 0; --n) {
            std::string name = randomName(rng) + randomName(rng);
            int before = cdsearchDeviceQuantity();
            cdsearchAddDevice(("/dev/" + name).c_str());
            if (cdsearchDeviceQuantity() > before) linkedListAppend(reference, newCD(name));
        }
        linkedListSort(reference, compareCD);
        cdsearchBuild();
        ASSERT_EQ(cdsearchDeviceQuantity(), linkedListSize(reference));
        linkedListToStart(reference);
        for (int i = 0; i < cdsearchDeviceQuantity(); ++i, linkedListToNext(reference)) {
            ASSERT_STREQ(cdsearchDeviceGet(i)->name,
                         static_cast<CD*>(linkedListGet(reference))->name)
                << "trial " << trial << " entry " << i;
            ASSERT_STREQ(cdsearchItemGet(i + 1)->name, cdsearchDeviceGet(i)->name);
        }
        cdsearchShutdown();
        linkedListSystemShutdown();
    }
}

}  // namespace
