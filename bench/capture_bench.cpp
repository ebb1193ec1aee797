// Times one pass of a hot-key capture without its 0.05 s pause (all 48 device
// slots polled: the keyboard through the X server, a mouse and a joystick on
// FIFOs) against one bare XQueryKeymap round trip, the floor of any pass.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench.h"
#include "containers/linkedlist.h"
#include "input/inputdriver.h"
#include "input/keysystem.h"

BENCH_SECTION(capture, 40) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        printf("capture: skipped, no X display\n");
        return;
    }
    char folder[] = "/tmp/discwren-bench-input-XXXXXX";
    if (!mkdtemp(folder)) {
        XCloseDisplay(display);
        return;
    }
    // Each FIFO's write end stays open, so that reads find "nothing waiting".
    int writers[2] = {-1, -1};
    const char* nodes[2] = {"mouse0", "js0"};
    for (int i = 0; i < 2; i++) {
        std::string path = std::string(folder) + "/" + nodes[i];
        if (mkfifo(path.c_str(), 0600) == 0) writers[i] = open(path.c_str(), O_RDWR | O_NONBLOCK);
    }
    InputDriver::setDeviceFolder((std::string(folder) + "/").c_str());
    linkedListSystemInit();
    keySystemInit();
    linkedListSystemOpen();
    keySystemOpen();

    const int runs = 2000;
    KeyCombo combo;
    keyCaptureBegin(&combo);
    double pass = bench::medianMicroseconds(runs, [&] { keyCapturePass(&combo); });
    keyCaptureEnd();
    char keys[32];
    double keymap = bench::medianMicroseconds(runs, [&] { XQueryKeymap(display, keys); });

    bool open = InputDriver::mouseState(0)->fd >= 0 && InputDriver::gamepadState(0)->fd >= 0;
    printf("%-34s %10.1f us\n", "capture pass (48 slots, no pause)", pass);
    printf("%-34s %10.1f us\n", "XQueryKeymap round trip", keymap);
    printf("%-34s %10s\n", "mouse and joystick FIFOs open", open ? "yes" : "NO");
    double ratio = keymap > 0 ? pass / keymap : 0;
    bench::target("capture pass", bench::format("%.1f us", pass),
                  bench::format("XQueryKeymap %.1f us", keymap), bench::format("%.2f", ratio),
                  "at most 2", open && ratio <= 2.0);

    keySystemClose();
    linkedListSystemClose();
    keySystemShutdown();
    linkedListSystemShutdown();
    InputDriver::setDeviceFolder(nullptr);
    for (int fd : writers)
        if (fd >= 0) close(fd);
    XCloseDisplay(display);
    if (system(("rm -rf " + std::string(folder)).c_str()) != 0) return;
}
