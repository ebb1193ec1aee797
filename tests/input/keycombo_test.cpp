// Key combinations: the text form in both directions and the display names.
#include "input/keycombo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(KeyComboText, ParsesWritesBackAndNames) {
    struct Case {
        const char* text;
        unsigned count;
        int parsed;        // str2key's result
        const char* back;  // key2str of the parsed record
        const char* name;
    } cases[] = {
        {"", 0, 0, "", "Unassigned"},
        {"00", 0, 0, "", "Unassigned"},
        {"zz0110004436", 0, 0, "", "Unassigned"},
        {"0110004436", 1, 3, "0110004436", "Kb0_Control_Left + Alt_Left + 'C'"},
        // The short defaults: a key index of fewer than four digits at the end.
        {"0110004b", 1, 3, "011000004b", "Kb0_F9"},
        {"011000004B", 1, 3, "011000004b", "Kb0_F9"},
        {"021000004b21000000", 2, 3, "021000004b21000000", "Kb0_F9 + Ms1_B0"},
        {"03200100252f00001f3f01005f", 3, 3, "03200100252f00001f3f01005f",
         "Ms0_A2+ + Ms15_B31 + Js15_A31-"},
        // More keys declared than the record holds: the first three count.
        {"041000004b1000004c1000004d1000004e", 3, 3, "031000004b1000004c1000004d",
         "Kb0_F9 + Kb0_F10 + Kb0_Num_Lock"},
        // Fewer keys given than declared: the rest stay zero, of no kind.
        {"021000004b", 2, -1, "021000004b00000000", "Kb0_F9 + "},
        {"031000004b10", 3, -1, "031000004b1000000000000000", "Kb0_F9 + Kb0_0x00 + "},
    };
    for (const Case& c : cases) {
        KeyCombo combo;
        clearKey(&combo);
        EXPECT_EQ(str2key(c.text, &combo), c.parsed) << c.text;
        EXPECT_EQ(combo.count, c.count) << c.text;
        char back[32];
        key2str(&combo, back);
        EXPECT_STREQ(back, c.back) << c.text;
        EXPECT_STREQ(getKeyNameString(c.text), c.name) << c.text;
        char slot[64];
        strcpy(slot, c.text);
        EXPECT_EQ(clearKey(slot), 0);
        EXPECT_STREQ(slot, "") << c.text;
    }
}

// A hand-edited file can hold any digits and setKey stores any value: nothing
// may be written past the 27 bytes of a text or the 512 of a name.
TEST(KeyComboText, HostileRecordsStayWithinTheirBuffers) {
    KeyCombo combo;
    setKey(&combo, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x12345678, 7, 0x1F, 0xFFFF, 0,
           0x1F);
    char text[KEY_COMBO_TEXT_SIZE + 5];
    memset(text, '#', sizeof text);
    EXPECT_EQ(key2str(&combo, text), 8);
    EXPECT_STREQ(text, "03ffffffff1f0756781f00ffff");

    const std::string allModifiers =
        "Kb15_Shift_Left + Shift_Right + Control_Left + Control_Right + Super_Left + "
        "Super_Right + Alt_Left + Alt_Right + 0xFF";
    struct Case {
        const char* text;
        std::string name;
    } cases[] = {
        {"012f00ffff", "Ms15_A15+"},
        {"013f007fff", "Js15_A15-"},
        {"01f000ffff", ""},
        {"01400000001", ""},
        {"-1-f-f-fff", " +  + "},  // signs read as huge numbers, cut to their digits
        {"ff1f00ffff1f00ffff1f00ffff1f00ffff",
         allModifiers + " + " + allModifiers + " + " + allModifiers},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(getKeyNameString(c.text), c.name) << c.text;
        KeyCombo parsed;
        clearKey(&parsed);
        str2key(c.text, &parsed);
        EXPECT_LE(parsed.count, 3u) << c.text;
        for (const KeyEntry& key : parsed.keys) {
            EXPECT_LE(key.deviceCode, 0xFFu) << c.text;
            EXPECT_LE(key.keyIndex, 0xFFFFu) << c.text;
        }
    }
}

}  // namespace
