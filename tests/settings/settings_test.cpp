// The settings record: defaults and the range check.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

TEST(SettingsRecord, DefaultsHoldTheShippedHotKeysAndLeaveOtherSlotsEmpty) {
    Settings s;
    memset(&s, 0x5a, sizeof s);
    settingsLoadDefault(&s);
    EXPECT_STREQ(s.hotkeys[0][0], "0110004436");
    EXPECT_STREQ(s.hotkeys[8][0], "0110004b");
    EXPECT_STREQ(s.hotkeys[9][0], "0110004c");
    EXPECT_STREQ(s.hotkeys[10][0], "0110005f");
    int assigned = 0;
    for (auto& key : s.hotkeys)
        for (auto& slot : key) assigned += slot[0] != '\0';
    EXPECT_EQ(assigned, 4);
    // current and filter are cleared whole, not just terminated.
    for (char c : s.current) ASSERT_EQ(c, '\0');
    for (char c : s.filter) ASSERT_EQ(c, '\0');
    EXPECT_STREQ(s.language, "en_EN.utf-8");
    EXPECT_EQ(s.cachinglevel, 20000);
    EXPECT_EQ(s.tryagainonerror, 5);
    EXPECT_EQ(s.playcdxa, 1);
    EXPECT_EQ(s.coveropened, 0);
    EXPECT_EQ(s.dialogw, 100);
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
