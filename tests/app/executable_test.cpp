// The real cfgDiscWren, started from another folder and driven through the
// X server as a user would: keyboard through XTest, closing through the
// window manager's message.
// gtest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// clang-format on
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/testsupport.h"

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::ScratchDir;

namespace {

const char* const kTitle = "Ostrel_Vanu_CDR_Plugin v1.21";

class Executable : public ::testing::Test {
protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr) << "no X display";
        // A private copy, so the settings file lands in a folder of the test's.
        ASSERT_EQ(mkdir("install", 0755), 0);
        ASSERT_EQ(mkdir("elsewhere", 0755), 0);
        testsupport::writeFile("install/cfgDiscWren", readFile(DISCWREN_EXECUTABLE));
        chmod("install/cfgDiscWren", 0755);
    }
    void TearDown() override {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (display) XCloseDisplay(display);
    }

    void launch() {
        std::string program = dir.path() + "/install/cfgDiscWren";
        child = fork();
        if (child == 0) {
            if (chdir("elsewhere") != 0) _exit(127);
            // Keep what the toolkit reports, such as a handler it could not find.
            if (!freopen("../messages.log", "w", stderr)) _exit(127);
            execl(program.c_str(), "cfgDiscWren", static_cast<char*>(nullptr));
            _exit(127);
        }
        window = findWindow();
        ASSERT_NE(window, 0u) << "the dialog's window did not appear";
    }

    // The dialog's mapped top-level window, waiting up to 20 seconds for it.
    Window findWindow() {
        for (int tries = 0; tries < 400; tries++) {
            Window root, parent, *children = nullptr;
            unsigned count = 0;
            Window found = 0;
            if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children,
                           &count)) {
                for (unsigned i = 0; i < count && !found; i++) {
                    char* name = nullptr;
                    XWindowAttributes attributes;
                    if (XFetchName(display, children[i], &name) && name &&
                        std::string(name) == kTitle &&
                        XGetWindowAttributes(display, children[i], &attributes) &&
                        attributes.map_state == IsViewable)
                        found = children[i];
                    if (name) XFree(name);
                }
                if (children) XFree(children);
            }
            if (found) return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return 0;
    }

    void pressKey(KeySym symbol) {
        XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        KeyCode code = XKeysymToKeycode(display, symbol);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XSync(display, False);
    }

    // What a window manager sends when the user closes the window.
    void closeWindow() {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XSync(display, False);
    }

    // The exit status once the program ends by itself within ten seconds, else -1.
    int exitStatus() {
        for (int tries = 0; tries < 200; tries++) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                child = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    ScratchDir dir;
    Display* display = nullptr;
    pid_t child = 0;
    Window window = 0;
};

TEST_F(Executable, OkWritesTheSettingsNextToTheProgram) {
    launch();
    pressKey(XK_space);  // OK holds the focus when the window opens
    EXPECT_EQ(exitStatus(), 0);
    bool ok = false;
    std::string written = readFile("install/discWren.ini", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(written.rfind("\n[cd selection]\n", 0), 0u);
    EXPECT_NE(written.find("cachinglevel                   = 20000\n"), std::string::npos);
    EXPECT_FALSE(fileExists("elsewhere/discWren.ini"));
    // Every handler of the definition was found and nothing went wrong on the way.
    std::string messages = readFile("messages.log");
    EXPECT_EQ(messages.find("Could not find signal handler"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("CRITICAL"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("WARNING"), std::string::npos) << messages;
}

TEST_F(Executable, CancelAndClosingTheWindowWriteNothing) {
    for (const char* how : {"cancel", "close"}) {
        launch();
        if (std::string(how) == "cancel") {
            pressKey(XK_Tab);  // from OK to CANCEL
            pressKey(XK_space);
        } else {
            closeWindow();
        }
        EXPECT_EQ(exitStatus(), 0) << how;
        EXPECT_FALSE(fileExists("install/discWren.ini")) << how;
        EXPECT_FALSE(fileExists("elsewhere/discWren.ini")) << how;
    }
}

TEST_F(Executable, KeepsTheSettingsItFindsWhenCancelled) {
    const std::string mine = "[misc]\n; my own notes\ndialogx = 3\n";
    testsupport::writeFile("install/discWren.ini", mine);
    launch();
    closeWindow();
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_EQ(readFile("install/discWren.ini"), mine);
}

}  // namespace
