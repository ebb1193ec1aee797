// A read-only FUSE view of a folder that answers like a network share: every
// look-up, status and listing call waits a set time, and listings (and with
// --hold-reads, reads of files too) can be held until a test lets them go.
//   discwren_slowfs [--delay-us N] [--hold] [--hold-reads] [--until-eof] [--cache-s SECONDS]
//                   [--max-calls N] [--fail-listing PATH] [--fail-reads PATH]
//                   SOURCE MOUNTPOINT [fuse options]
// --cache-s lets the kernel keep look-ups and status for that long (a share
// that caches them); --max-calls serves at most N calls at once (64 by
// default); --fail-listing makes every listing of PATH in the view ("/a/b")
// give its first entry, then fail with an I/O error, as a flaky share does;
// --fail-reads makes every read of the file PATH fail with an I/O error.
// Control: SIGUSR1 releases every held listing and stops holding, SIGUSR2
// starts holding again; SIGTERM, SIGINT and SIGHUP release and unmount. With
// --until-eof the end of standard input does the same, so the view goes away
// with the process that started it. Standard output gets one line per event,
// unbuffered: "ready" once mounted, "held <path>" when a listing starts to
// wait (a read too), "holding" and "released" when a signal has been acted on.
#define FUSE_USE_VERSION FUSE_MAKE_VERSION(3, 12)

#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

int sourceFd = -1;
long delayUs = 0;
double cacheSeconds = 0;
const char* failListing = nullptr;  // in argv
const char* failReads = nullptr;    // in argv
const char* mountPoint = nullptr;   // in argv: threads may read it while main returns

// Never destroyed: the signal thread may still use them while exit runs.
std::mutex& holdLock = *new std::mutex;
std::condition_variable& holdChanged = *new std::condition_variable;
bool holding = false;
bool holdReads = false;      // reads of files wait with the listings
unsigned long releases = 0;  // counts SIGUSR1s, so a release frees every waiter

std::mutex sayLock;

// Writes one line to standard output in a single write.
void say(const std::string& line) {
    std::lock_guard<std::mutex> guard(sayLock);
    std::string text = line + "\n";
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(STDOUT_FILENO, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

// The cost of one round trip to the server.
void delay() {
    if (delayUs > 0) usleep(static_cast<useconds_t>(delayUs));
}

// Blocks a listing (or a read) while holding is on, until the next release.
void holdListing(const char* path) {
    std::unique_lock<std::mutex> lock(holdLock);
    if (!holding) return;
    unsigned long seen = releases;
    say(std::string("held ") + path);
    holdChanged.wait(lock, [seen] { return releases != seen; });
}

void setHolding(bool on) {
    {
        std::lock_guard<std::mutex> guard(holdLock);
        holding = on;
        if (!on) ++releases;
    }
    holdChanged.notify_all();
}

// The path below the source folder that a path in the view names.
const char* relative(const char* path) { return path[1] != '\0' ? path + 1 : "."; }

struct DirHandle {
    DIR* dir;
    bool listed = false;  // read once already: a read from the start is a rewind
};

DirHandle* dirHandle(const fuse_file_info* fi) { return reinterpret_cast<DirHandle*>(fi->fh); }

void* slowInit(fuse_conn_info* conn, fuse_config* cfg) {
    // Nothing is cached by the kernel unless asked: every look-up and listing
    // reaches here, as on a share whose changes this machine is not told about.
    cfg->use_ino = 1;
    cfg->entry_timeout = cacheSeconds;
    cfg->attr_timeout = cacheSeconds;
    cfg->negative_timeout = 0;
    cfg->kernel_cache = 0;
    // Plain listings: names and types only, each entry looked up on its own.
    conn->want &= ~FUSE_CAP_READDIRPLUS;
    return nullptr;
}

int slowGetattr(const char* path, struct stat* st, fuse_file_info*) {
    delay();
    return fstatat(sourceFd, relative(path), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

int slowReadlink(const char* path, char* buffer, size_t size) {
    if (size == 0) return -EINVAL;
    ssize_t n = readlinkat(sourceFd, relative(path), buffer, size - 1);
    if (n < 0) return -errno;
    buffer[n] = '\0';
    return 0;
}

int slowOpendir(const char* path, fuse_file_info* fi) {
    delay();
    holdListing(path);
    int fd = openat(sourceFd, relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -errno;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        int error = errno;
        close(fd);
        return -error;
    }
    fi->fh = reinterpret_cast<uint64_t>(new DirHandle{dir});
    return 0;
}

// Lists from the offset the kernel asks for; a read from the start reads the
// source folder again, so what changed there shows.
int slowReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                fuse_file_info* fi, fuse_readdir_flags) {
    delay();
    DirHandle* handle = dirHandle(fi);
    if (offset == 0 && handle->listed) holdListing(path);
    bool flaky = failListing && strcmp(path, failListing) == 0;
    if (flaky && offset != 0) return -EIO;
    handle->listed = true;
    if (offset == 0)
        rewinddir(handle->dir);
    else
        seekdir(handle->dir, offset);
    for (;;) {
        errno = 0;
        dirent* entry = readdir(handle->dir);
        if (!entry) return errno ? -errno : 0;
        struct stat st = {};
        st.st_ino = entry->d_ino;
        if (entry->d_type != DT_UNKNOWN)
            st.st_mode = DTTOIF(entry->d_type);
        else if (fstatat(dirfd(handle->dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            st.st_mode = 0;
        if (fill(buffer, entry->d_name, &st, telldir(handle->dir), fuse_fill_dir_flags(0)))
            return 0;
        // A flaky listing stops after its first name; the next part fails.
        if (flaky && strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) return 0;
    }
}

int slowReleasedir(const char*, fuse_file_info* fi) {
    DirHandle* handle = dirHandle(fi);
    closedir(handle->dir);
    delete handle;
    return 0;
}

int slowOpen(const char* path, fuse_file_info* fi) {
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    int fd = openat(sourceFd, relative(path), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int slowRead(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    if (holdReads) holdListing(path);
    if (failReads && strcmp(path, failReads) == 0) return -EIO;
    ssize_t n = pread(static_cast<int>(fi->fh), buffer, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int slowRelease(const char*, fuse_file_info* fi) {
    close(static_cast<int>(fi->fh));
    return 0;
}

int slowStatfs(const char*, struct statvfs* st) { return fstatvfs(sourceFd, st) == 0 ? 0 : -errno; }

// Detaches the view; the loop ends once nothing uses it any more.
void unmountLazily() {
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::string point = mountPoint;
    char* argv[] = {const_cast<char*>("fusermount3"),
                    const_cast<char*>("-u"),
                    const_cast<char*>("-z"),
                    const_cast<char*>("-q"),
                    &point[0],
                    nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "fusermount3", nullptr, &attributes, argv, environ) == 0)
        waitpid(pid, nullptr, 0);
    posix_spawnattr_destroy(&attributes);
}

// Acts on the control signals; runs on its own thread with them blocked everywhere.
void signalLoop(sigset_t signals) {
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal == SIGUSR1) {
            setHolding(false);
            say("released");
        } else if (signal == SIGUSR2) {
            setHolding(true);
            say("holding");
        } else {
            setHolding(false);
            unmountLazily();
        }
    }
}

// Treats the end of standard input like SIGTERM.
void stdinLoop() {
    char buffer[256];
    for (;;) {
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0 || (n < 0 && errno == EINTR)) continue;
        break;
    }
    setHolding(false);
    unmountLazily();
}

int usage(const char* program) {
    fprintf(stderr,
            "usage: %s [--delay-us N] [--hold] [--hold-reads] [--until-eof] [--cache-s SECONDS] "
            "[--max-calls N] [--fail-listing PATH] [--fail-reads PATH] SOURCE MOUNTPOINT "
            "[fuse options]\n",
            program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool untilEof = false;
    long maxCalls = 64;
    int i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; ++i) {
        if (strcmp(argv[i], "--delay-us") == 0 && i + 1 < argc) {
            char* end;
            delayUs = strtol(argv[++i], &end, 10);
            if (*end != '\0' || delayUs < 0) return usage(argv[0]);
        } else if (strcmp(argv[i], "--cache-s") == 0 && i + 1 < argc) {
            char* end;
            cacheSeconds = strtod(argv[++i], &end);
            if (*end != '\0' || !(cacheSeconds >= 0)) return usage(argv[0]);
        } else if (strcmp(argv[i], "--max-calls") == 0 && i + 1 < argc) {
            char* end;
            maxCalls = strtol(argv[++i], &end, 10);
            if (*end != '\0' || maxCalls < 1 || maxCalls > 100000) return usage(argv[0]);
        } else if (strcmp(argv[i], "--fail-listing") == 0 && i + 1 < argc) {
            failListing = argv[++i];
        } else if (strcmp(argv[i], "--fail-reads") == 0 && i + 1 < argc) {
            failReads = argv[++i];
        } else if (strcmp(argv[i], "--hold") == 0) {
            holding = true;
        } else if (strcmp(argv[i], "--hold-reads") == 0) {
            holdReads = true;
        } else if (strcmp(argv[i], "--until-eof") == 0) {
            untilEof = true;
        } else {
            return usage(argv[0]);
        }
    }
    if (argc - i < 2) return usage(argv[0]);
    const char* source = argv[i];
    mountPoint = argv[i + 1];
    sourceFd = open(source, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (sourceFd < 0) {
        fprintf(stderr, "%s: %s: %s\n", argv[0], source, strerror(errno));
        return 1;
    }

    std::vector<char*> fuseArgv = {argv[0], const_cast<char*>("-o"),
                                   const_cast<char*>("ro,subtype=slowfs,fsname=discwren_slowfs")};
    for (int k = i + 2; k < argc; ++k) fuseArgv.push_back(argv[k]);
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(fuseArgv.size()), fuseArgv.data());

    fuse_operations operations = {};
    operations.init = slowInit;
    operations.getattr = slowGetattr;
    operations.readlink = slowReadlink;
    operations.opendir = slowOpendir;
    operations.readdir = slowReaddir;
    operations.releasedir = slowReleasedir;
    operations.open = slowOpen;
    operations.read = slowRead;
    operations.release = slowRelease;
    operations.statfs = slowStatfs;

    fuse* fs = fuse_new(&args, &operations, sizeof operations, nullptr);
    if (!fs) {
        fuse_opt_free_args(&args);
        return 1;
    }
    if (fuse_mount(fs, mountPoint) != 0) {
        fuse_destroy(fs);
        fuse_opt_free_args(&args);
        return 1;
    }

    // Every thread, the loop's workers included, inherits the blocked set.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(signalLoop, signals).detach();
    if (untilEof) std::thread(stdinLoop).detach();
    say("ready");

    // By default enough workers that other calls still answer while listings are held.
    fuse_loop_config* config = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(config, static_cast<unsigned>(maxCalls));
    int result = fuse_loop_mt(fs, config);
    fuse_loop_cfg_destroy(config);
    fuse_unmount(fs);
    fuse_destroy(fs);
    fuse_opt_free_args(&args);
    return result == 0 ? 0 : 1;
}
