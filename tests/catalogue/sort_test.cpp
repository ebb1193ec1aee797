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
// equal but for case and bytes above 0x7F all turn up often. Names of one
// length are never proper prefixes of each other.
std::string randomName(std::mt19937& rng, int length = -1) {
    static const char alphabet[] = "aAbB.z0\x80\xc3\xa9\xff";
    std::string name;
    for (length = length < 0 ? rng() % 5 : length; length > 0; --length) {
        name.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
    }
    return name;
}

bool hasProperPrefixIgnoringCase(const std::vector<CD*>& cds) {
    auto fold = [](char c) { return tolower(static_cast<signed char>(c)); };
    for (const CD* a : cds) {
        for (const CD* b : cds) {
            size_t la = strlen(a->name), lb = strlen(b->name);
            if (la >= lb) continue;
            bool prefix = true;
            for (size_t i = 0; i < la && prefix; ++i) prefix = fold(a->name[i]) == fold(b->name[i]);
            if (prefix) return true;
        }
    }
    return false;
}

TEST(CatalogueSort, GivesTheOrderOfTheAdjacentSwapSort) {
    linkedListSystemInit();
    std::mt19937 rng(20261208);
    int fast = 0, fallback = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        int reference = linkedListRegister(reinterpret_cast<void*>(&releaseCD));
        std::vector<CD*> cds;
        for (int n = rng() % 30; n > 0; --n) {
            cds.push_back(newCD(randomName(rng, trial % 2 ? -1 : 3)));
            linkedListAppend(reference, cds.back());
        }
        linkedListSort(reference, compareCD);
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
