// The hot-key slot rule on its own: a stand-in capture replaces the devices,
// so no key is pressed and no display is read.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "input/keysystem.h"
#include "settings/settings.h"

namespace {

// Keyboard combinations in text form: 'A', 'S' and 'D' of slot 0.
const char* const A = "0110000026";
const char* const S = "0110000027";
const char* const D = "0110000028";

// What the stand-in capture does: write a combination and report 1, or act
// like Escape (nullptr: the text becomes "" and the result 0).
const char* captureWrites = nullptr;
int captureCount = 0;
const char* captureTarget = nullptr;

int fakeCapture(char* text) {
    captureCount++;
    captureTarget = text;
    if (!captureWrites) {
        text[0] = '\0';
        return 0;
    }
    snprintf(text, KEY_COMBO_TEXT_SIZE, "%s", captureWrites);
    return 1;
}

}  // namespace

TEST(HotKeyCapture, FillsTheFirstEmptySlotAndEscapeUnassigns) {
    struct Case {
        const char* name;
        const char* first;
        const char* second;
        const char* pressed;  // nullptr: Escape
        bool intoFirst;
        const char* firstAfter;
        const char* secondAfter;
    };
    const Case cases[] = {
        {"both empty", "", "", A, true, A, ""},
        {"first empty, second set", "", S, A, true, A, S},
        {"first spelt empty as a zero count", "00", S, A, true, A, S},
        {"first unreadable", "zz", "", A, true, A, ""},
        {"first set, second empty", A, "", S, false, A, S},
        {"both set: second replaced", A, S, D, false, A, D},
        {"second spelt empty as a zero count", A, "00", S, false, A, S},
        {"Escape into the first slot", "", S, nullptr, true, "", S},
        {"Escape into an empty second unassigns", A, "", nullptr, false, "", ""},
        {"Escape into an empty-spelt second unassigns", A, "00", nullptr, false, "", ""},
        {"Escape over a set second keeps the first", A, S, nullptr, false, A, ""},
    };
    for (const Case& c : cases) {
        char first[SETTINGS_SLOT_SIZE];
        char second[SETTINGS_SLOT_SIZE];
        snprintf(first, sizeof first, "%s", c.first);
        snprintf(second, sizeof second, "%s", c.second);
        captureWrites = c.pressed;
        captureCount = 0;
        captureTarget = nullptr;

        int result = keySystemCaptureHotKey(first, second, fakeCapture);

        EXPECT_EQ(captureCount, 1) << c.name;
        EXPECT_EQ(captureTarget, c.intoFirst ? first : second) << c.name;
        EXPECT_EQ(result, c.pressed ? 1 : 0) << c.name;
        EXPECT_EQ(std::string(first), c.firstAfter) << c.name;
        EXPECT_EQ(std::string(second), c.secondAfter) << c.name;
    }
}
