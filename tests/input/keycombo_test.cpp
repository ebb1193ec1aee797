// Key combinations: the text form in both directions and the display names.
#include "input/keycombo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string roundTrip(const char* text, KeyCombo* combo, int* parsed = nullptr) {
    clearKey(combo);
    int result = str2key(text, combo);
    if (parsed) *parsed = result;
    char back[64];
    memset(back, 'x', sizeof back);
    key2str(combo, back);
    return back;
}

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
        {"013f010022", 1, 3, "013f010022", "Js15_A1+"},
        {"03200100252f00001f3001005f", 3, 3, "03200100252f00001f3001005f",
         "Ms0_A2+ + Ms15_B31 + Js0_A31-"},
        // More keys declared than the record holds: the first three count.
        {"041000004b1000004c1000004d1000004e", 3, 3, "031000004b1000004c1000004d",
         "Kb0_F9 + Kb0_F10 + Kb0_Num_Lock"},
        // Two declared, one given: the second stays zero, of no kind.
        {"021000004b", 2, -1, "021000004b00000000", "Kb0_F9 + "},
        {"031000004b10", 3, -1, "031000004b1000000000000000", "Kb0_F9 + Kb0_0x00 + "},
    };
    for (const Case& c : cases) {
        KeyCombo combo;
        int parsed;
        EXPECT_EQ(roundTrip(c.text, &combo, &parsed), c.back) << c.text;
        EXPECT_EQ(combo.count, c.count) << c.text;
        EXPECT_EQ(parsed, c.parsed) << c.text;
        EXPECT_STREQ(getKeyNameString(c.text), c.name) << c.text;
        EXPECT_STREQ(getKeyNameString(&combo), c.name) << c.text;
    }
}

TEST(KeyComboText, EqualityAndClearing) {
    KeyCombo a, b;
    clearKey(&a);
    clearKey(&b);
    str2key("021000004b21000000", &a);
    str2key("021000004b21000000", &b);
    b.keys[2].keyIndex = 77;  // beyond count: carries no meaning
    EXPECT_TRUE(keyComboEqual(&a, &b));
    for (int field = 0; field < 4; field++) {
        KeyCombo c = a;
        if (field == 0) c.keys[1].keyIndex++;
        if (field == 1) c.keys[1].keyType++;
        if (field == 2) c.keys[1].deviceCode++;
        if (field == 3) c.count = 1;
        EXPECT_FALSE(keyComboEqual(&a, &c)) << field;
    }

    char text[32] = "0110004436";
    EXPECT_EQ(clearKey(text), 0);
    EXPECT_STREQ(text, "");
}

// A hand-edited file can hold any digits; setKey stores any value. Nothing may
// be written past the 27 bytes of a text or the name buffer.
TEST(KeyComboText, HostileRecordsStayWithinTheirBuffers) {
    KeyCombo combo;
    setKey(&combo, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x12345678, 7, 0x1F, 0xFFFF, 0,
           0x1F);
    char text[KEY_COMBO_TEXT_SIZE + 5];
    memset(text, '#', sizeof text);
    EXPECT_EQ(key2str(&combo, text), 8);
    EXPECT_STREQ(text, "03ffffffff1f0756781f00ffff");
    EXPECT_EQ(text[KEY_COMBO_TEXT_SIZE], '#');

    const std::string everyModifier =
        "Shift_Left + Shift_Right + Control_Left + Control_Right + Super_Left + Super_Right + "
        "Alt_Left + Alt_Right + 0xFF";
    EXPECT_EQ(std::string(getKeyNameString(&combo)),
              " + Kb15_Shift_Right + Control_Left + Super_Left + Alt_Left + 0x78 + Kb15_" +
                  everyModifier);

    struct Case {
        const char* text;
        const char* name;
    } cases[] = {
        {"012f00ffff", "Ms15_A15+"},
        {"013f007fff", "Js15_A15-"},
        {"011f00ffff", nullptr},  // Kb15_ and every modifier, checked below
        {"01f000ffff", ""},
        {"01400000001", ""},
        {"ff1f00ffff1f00ffff1f00ffff1f00ffff", nullptr},
        {"-1-f-f-fff", nullptr},  // signs read as huge numbers
    };
    for (const Case& c : cases) {
        std::string name = getKeyNameString(c.text);
        EXPECT_LT(name.size(), 512u) << c.text;
        if (c.name) {
            EXPECT_EQ(name, c.name) << c.text;
        }
        KeyCombo parsed;
        roundTrip(c.text, &parsed);
        EXPECT_LE(parsed.count, 3u) << c.text;
        EXPECT_LE(parsed.keys[0].deviceCode, 0xFFu) << c.text;
        EXPECT_LE(parsed.keys[0].keyIndex, 0xFFFFu) << c.text;
    }
    EXPECT_EQ(std::string(getKeyNameString("011f00ffff")), "Kb15_" + everyModifier);
    EXPECT_EQ(std::string(getKeyNameString("ff1f00ffff1f00ffff1f00ffff1f00ffff")),
              "Kb15_" + everyModifier + " + Kb15_" + everyModifier + " + Kb15_" + everyModifier);
}

}  // namespace
