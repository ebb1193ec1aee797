#include <gtest/gtest.h>

#include "ui/window_editor.h"

// Expected values worked out by hand: width = request * 1.6 + 16 (cut to an
// integer), height = 2 * request + 16, each at most the desktop's, placed at
// the main window's position.
TEST(EditorPlacement, SizedFromItsContentsOverTheMainWindow) {
    struct Case {
        int mainX, mainY, requestW, requestH, desktopW, desktopH;
        WindowPlacement expected;
    };
    const Case cases[] = {
        {100, 50, 300, 200, 1280, 1024, {100, 50, 496, 416}},
        {0, 0, 301, 200, 1280, 1024, {0, 0, 497, 416}},  // 497.6 cut to 497
        {0, 0, 304, 10, 1280, 1024, {0, 0, 502, 36}},    // 502.4 cut to 502
        {10, 20, 900, 600, 1280, 1024, {10, 20, 1280, 1024}},
        {10, 20, 790, 504, 1280, 1024, {10, 20, 1280, 1024}},  // exactly the desktop
        {10, 20, 791, 505, 1280, 1024, {10, 20, 1280, 1024}},  // one over, clamped
        {-20, 30, 0, 0, 1280, 1024, {-20, 30, 16, 16}},
        {7, 9, 300, 200, 0, 0, {7, 9, 0, 0}},  // unknown desktop: size left alone
    };
    for (const Case& c : cases) {
        WindowPlacement got =
            windowEditorPlacement(c.mainX, c.mainY, c.requestW, c.requestH, c.desktopW, c.desktopH);
        SCOPED_TRACE(testing::Message() << c.requestW << "x" << c.requestH << " on " << c.desktopW
                                        << "x" << c.desktopH);
        EXPECT_EQ(got.x, c.expected.x);
        EXPECT_EQ(got.y, c.expected.y);
        EXPECT_EQ(got.width, c.expected.width);
        EXPECT_EQ(got.height, c.expected.height);
    }
}
