#include "support/slowfs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "helper/scan/mounts.h"

namespace testsupport {

namespace {

// How long to wait for the server before calling it broken. Only a failing
// server gets near it; a working one answers within milliseconds.
constexpr std::chrono::seconds safetyLimit(60);

const char* serverPath() {
#ifdef DISCWREN_SLOWFS
    return DISCWREN_SLOWFS;
#else
    return nullptr;
#endif
}

bool onPath(const std::string& program) {
    const char* path = getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Runs a program found on PATH, output discarded; true when it exits with 0.
bool run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0;
}

}  // namespace

bool isMountPoint(const std::string& path) {
    std::ifstream table("/proc/self/mountinfo");
    std::stringstream text;
    text << table.rdbuf();
    for (const catalogue::Mount& mount : catalogue::parseMountInfo(text.str()))
        if (mount.point == path) return true;
    return false;
}

struct SlowFs::State {
    std::string mountPoint;
    bool madeMountPoint = false;  // the folder is still there to remove
    std::string error;
    pid_t pid = -1;
    int toServer = -1;    // the server's standard input: closing it unmounts
    int fromServer = -1;  // its event lines
    std::thread reader;

    std::mutex lock;
    std::condition_variable changed;
    bool ready = false;
    bool ended = false;  // the server closed its output (it has exited)
    unsigned holdingSeen = 0, releasedSeen = 0;
    std::deque<std::string> held;

    // Collects the server's event lines until it ends.
    void readEvents() {
        std::string pending;
        char buffer[4096];
        for (;;) {
            ssize_t n = read(fromServer, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            pending.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                std::lock_guard<std::mutex> guard(lock);
                if (line == "ready")
                    ready = true;
                else if (line == "holding")
                    ++holdingSeen;
                else if (line == "released")
                    ++releasedSeen;
                else if (line.compare(0, 5, "held ") == 0)
                    held.push_back(line.substr(5));
                changed.notify_all();
            }
        }
        std::lock_guard<std::mutex> guard(lock);
        ended = true;
        changed.notify_all();
    }

    // Waits until condition holds (under lock) or the server has ended.
    template <typename Condition>
    bool waitFor(Condition condition) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait_for(guard, safetyLimit, [&] { return condition() || ended; });
        return condition();
    }

    // Waits until the server has exited; false when it is still running.
    bool waitEnded() {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, safetyLimit, [&] { return ended; });
    }

    // Sends a control signal and waits for the line that confirms it.
    bool control(int signal, unsigned State::*counter) {
        unsigned before;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!ready || ended) return false;
            before = this->*counter;
        }
        if (kill(pid, signal) != 0) return false;
        return waitFor([&] { return this->*counter != before; });
    }
};

bool SlowFs::available(std::string* why) {
    std::string reason;
    const char* server = serverPath();
    if (!server || access(server, X_OK) != 0)
        reason = "discwren_slowfs is not built (libfuse3 was not found)";
    else if (access("/dev/fuse", R_OK | W_OK) != 0)
        reason = "/dev/fuse cannot be opened";
    else if (geteuid() != 0)
        reason = "FUSE tests mount as root, and this is not root";
    else if (!onPath("fusermount3"))
        reason = "fusermount3 is not installed";
    if (why) *why = reason;
    return reason.empty();
}

SlowFs::SlowFs(const std::string& source, int delayUs, bool hold, bool holdReads,
               const SlowFsOptions& options)
    : state_(new State) {
    State& s = *state_;
    std::string why;
    if (!available(&why)) {
        s.error = why;
        return;
    }
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/discwren-slowfs-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        s.error = "cannot make a mount point: " + std::string(strerror(errno));
        return;
    }
    s.mountPoint = pattern;
    s.madeMountPoint = true;

    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0) {
        s.error = "pipe failed";
        return;
    }
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        s.error = "pipe failed";
        return;
    }
    std::vector<std::string> args = {serverPath(), "--delay-us", std::to_string(delayUs),
                                     "--until-eof"};
    if (hold) args.push_back("--hold");
    if (holdReads) args.push_back("--hold-reads");
    args.insert(args.end(), {"--cache-s", std::to_string(options.cacheSeconds), "--max-calls",
                             std::to_string(options.maxCalls)});
    if (!options.failListing.empty())
        args.insert(args.end(), {"--fail-listing", options.failListing});
    if (!options.failReads.empty()) args.insert(args.end(), {"--fail-reads", options.failReads});
    // auto_unmount: should the server die, fusermount3 takes the mount away.
    for (const char* arg : {source.c_str(), s.mountPoint.c_str(), "-o", "auto_unmount"})
        args.push_back(arg);
    if (options.allowOther) args.insert(args.end(), {"-o", "allow_other"});
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    // The server blocks its control signals itself, once it is mounted.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT, SIGHUP, SIGPIPE})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    int spawned = posix_spawn(&s.pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    s.toServer = input[1];
    s.fromServer = output[0];
    if (spawned != 0) {
        s.pid = -1;
        s.error = "cannot start " + args[0] + ": " + strerror(spawned);
        unmount();
        return;
    }
    s.reader = std::thread([&s] { s.readEvents(); });
    if (!s.waitFor([&s] { return s.ready; })) {
        std::string message = "discwren_slowfs did not mount " + source + " (see its messages)";
        unmount();
        s.error = message;
    }
}

SlowFs::~SlowFs() { unmount(); }

SlowFs::SlowFs(SlowFs&&) noexcept = default;

SlowFs& SlowFs::operator=(SlowFs&& other) noexcept {
    if (this != &other) {
        unmount();
        state_ = std::move(other.state_);
    }
    return *this;
}

bool SlowFs::mounted() const {
    if (!state_) return false;
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->ready && !state_->ended;
}

const std::string& SlowFs::error() const {
    static const std::string none;
    return state_ ? state_->error : none;
}

const std::string& SlowFs::path() const {
    static const std::string none;
    return state_ ? state_->mountPoint : none;
}

bool SlowFs::hold() { return state_ && state_->control(SIGUSR2, &State::holdingSeen); }

bool SlowFs::release() { return state_ && state_->control(SIGUSR1, &State::releasedSeen); }

bool SlowFs::waitHeld(std::string* path) {
    if (!state_) return false;
    State& s = *state_;
    if (!s.waitFor([&s] { return !s.held.empty(); })) return false;
    std::lock_guard<std::mutex> guard(s.lock);
    if (path) *path = s.held.front();
    s.held.pop_front();
    return true;
}

void SlowFs::unmount() {
    if (!state_) return;
    State& s = *state_;
    if (s.pid > 0) {
        // Nothing may wait on the server while the view goes: release first.
        release();
        if (!run({"fusermount3", "-u", "-q", s.mountPoint}))
            run({"fusermount3", "-u", "-z", "-q", s.mountPoint});
        // The end of its input makes the server unmount and exit if it has not.
        close(s.toServer);
        s.toServer = -1;
        if (!s.waitEnded()) kill(s.pid, SIGKILL);
        waitpid(s.pid, nullptr, 0);
        s.pid = -1;
    }
    if (s.reader.joinable()) s.reader.join();
    if (s.toServer >= 0) close(s.toServer);
    if (s.fromServer >= 0) close(s.fromServer);
    s.toServer = s.fromServer = -1;
    if (s.madeMountPoint) {
        if (isMountPoint(s.mountPoint)) umount2(s.mountPoint.c_str(), MNT_DETACH);
        rmdir(s.mountPoint.c_str());
        s.madeMountPoint = false;
    }
    std::lock_guard<std::mutex> guard(s.lock);
    s.ended = true;
}

}  // namespace testsupport
