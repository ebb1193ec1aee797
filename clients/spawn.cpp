#include "clients/spawn.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
// This C library's header lacks the C++ linkage block.
extern "C" {
#include <sys/pidfd.h>
}

#include <cstdio>
#include <string>

#include "protocol/frames.h"

extern char** environ;

namespace {

std::string program;  // set by helperSetProgram; empty: this program's own file
bool spawnFailed = false;

// Why a helper cannot be started, on standard error once until one can again.
void spawnFailure(int error) {
    if (!spawnFailed) {
        errno = error;
        perror("discWren: a helper process cannot be started");
    }
    spawnFailed = true;
}

}  // namespace

void helperSetProgram(const char* path) { program = path ? path : ""; }

bool helperSpawnFailed() { return spawnFailed; }

int helperSpawn(HelperKind kind, int* pidfd, pid_t* pid) {
    *pidfd = -1;
    *pid = -1;
    const char* executable = program.empty() ? "/proc/self/exe" : program.c_str();
    // An ignored SIGCHLD (inherited through exec) would reap helpers behind
    // the pidfd's back and free their process ids for reuse.
    struct sigaction action;
    if (sigaction(SIGCHLD, nullptr, &action) == 0 &&
        (action.sa_handler == SIG_IGN || (action.sa_flags & SA_NOCLDWAIT))) {
        action.sa_handler = SIG_DFL;
        action.sa_flags &= ~SA_NOCLDWAIT;
        sigaction(SIGCHLD, &action, nullptr);
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        spawnFailure(errno);
        return -1;
    }
    // The child's end must differ from its target, or dup2 would keep close-on-exec.
    if (pair[1] <= HELPER_SOCKET_FD) {
        int moved = fcntl(pair[1], F_DUPFD_CLOEXEC, HELPER_SOCKET_FD + 1);
        close(pair[1]);
        pair[1] = moved;
    }
    std::string kindText = std::to_string(kind), parentText = std::to_string(getpid());
    char* argv[] = {const_cast<char*>("cfgDiscWren"), const_cast<char*>(HELPER_MODE_ARGUMENT),
                    &kindText[0], &parentText[0], nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Each request hands over the dialog's folder; the helper holds no other
    // (and starts in one that exists when the dialog's has been removed).
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    posix_spawn_file_actions_adddup2(&actions, pair[1], HELPER_SOCKET_FD);
    posix_spawn_file_actions_addclosefrom_np(&actions, HELPER_SOCKET_FD + 1);
    pid_t spawned = -1;
    int failed =
        pair[1] < 0 ? EBADF : posix_spawn(&spawned, executable, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (pair[1] >= 0) close(pair[1]);
    if (failed) {
        close(pair[0]);
        spawnFailure(failed);
        return -1;
    }
    // Nothing reaps the child before this: only its parent can, and does not yet.
    int handle = pidfd_open(spawned, 0);
    if (handle < 0) {
        spawnFailure(errno);
        kill(spawned, SIGKILL);
        waitpid(spawned, nullptr, 0);
        close(pair[0]);
        return -1;
    }
    fcntl(pair[0], F_SETFL, fcntl(pair[0], F_GETFL) | O_NONBLOCK);
    *pidfd = handle;
    *pid = spawned;
    spawnFailed = false;
    return pair[0];
}

void helperOpenStandardStreams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // open takes the lowest free number: this one.
        int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) close(null);
    }
}
