// Starts a GTK program and times, on a connection of our own to the X
// server, how long it takes to put up its window and to answer on it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Wall-clock milliseconds since start.
double millisecondsSince(Clock::time_point start);

// What one start of a windowed program took; a time below zero means that
// step never came within the time limit.
struct WindowStart {
    double mappedMs = -1;    // exec to the MapNotify of its top-level window
    double answeredMs = -1;  // exec to its answer to a _NET_WM_PING on that window
    long peakKilobytes = 0;  // its peak resident memory since its exec (VmHWM)
};

// Runs argv (argv[0] an absolute path, or a name on PATH) in folder cwd with its
// output discarded, waits for its first top-level window (by _NET_WM_PID, or
// the first new one) to map and to answer a ping, then kills it. Gives up
// after limitMs or as soon as the program ends; everything below zero when
// there is no X display.
WindowStart startWindow(const std::vector<std::string>& argv, const std::string& cwd,
                        double limitMs = 10000);

// Milliseconds from exec to the window mapped and answering, -1 when it
// did not come within limitMs.
double startToAnswerMs(const std::vector<std::string>& argv, const std::string& cwd,
                       double limitMs = 10000);

}  // namespace bench
