// The settings record: defaults and the range check.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

// Every default value is in the golden file of the settings file tests; over
// any old bytes, the hot keys without a default are emptied, and current and
// filter are cleared whole, not just terminated.
TEST(SettingsRecord, DefaultsReplaceWhateverTheRecordHeld) {
    Settings s;
    memset(&s, 0x5a, sizeof s);
    settingsLoadDefault(&s);
    int assigned = 0;
    for (auto& key : s.hotkeys)
        for (auto& slot : key) assigned += slot[0] != '\0';
    EXPECT_EQ(assigned, 4);
    for (char c : s.current) ASSERT_EQ(c, '\0');
    for (char c : s.filter) ASSERT_EQ(c, '\0');
}

TEST(SettingsRecord, CheckClampsEachRangedFieldAndNothingElse) {
    struct Case {
        int32_t Settings::*field;
        int32_t in, out;
    } cases[] = {
        {&Settings::cachinglevel, 9, 10},       {&Settings::cachinglevel, 0, 10},
        {&Settings::cachinglevel, INT_MIN, 10}, {&Settings::cachinglevel, 100001, 100000},
        {&Settings::spindowntime, 16, 16},      {&Settings::spindowntime, 601, 600},
        {&Settings::spindowntime, -1, 0},       {&Settings::speedlimitation, 33, 32},
        {&Settings::tryagainonerror, 17, 16},   {&Settings::cdxavolumelevel, -5, 0},
        {&Settings::cddavolumelevel, 250, 100}, {&Settings::playcdxa, 7, 7},
        {&Settings::dialogx, -3000, -3000},     {&Settings::dialogw, INT_MAX, INT_MAX},
    };
    for (const Case& c : cases) {
        Settings s;
        settingsLoadDefault(&s);
        s.*c.field = c.in;
        settingsCheck(&s);
        EXPECT_EQ(s.*c.field, c.out) << "input " << c.in;
    }
}
