// A helper process of the dialog (protocol/frames.h): the program's own file
// started again as KIND PARENT-PID after the helper argument, with its socket
// on descriptor 3; it serves its kind's requests there (helper/serve.h).
#include "helper/helper_main.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "helper/discid/gameid_service.h"
#include "helper/serve.h"
#include "protocol/frames.h"

namespace {

// The kind this process was started as (its arguments and descriptor 3 as a
// helper's, the dialog's process id aside, which the caller checks), 0 when
// it was not: a user's start, whatever its arguments.
int helperStartedAs(int argc, char* argv[]) {
    if (argc != 4 || strcmp(argv[1], HELPER_MODE_ARGUMENT) != 0) return 0;
    // A connected Unix stream socket, as helperSpawn leaves there.
    int type = 0;
    socklen_t size = sizeof type;
    struct sockaddr_storage peer = {};
    socklen_t peerSize = sizeof peer;
    if (getsockopt(HELPER_SOCKET_FD, SOL_SOCKET, SO_TYPE, &type, &size) != 0 ||
        type != SOCK_STREAM ||
        getpeername(HELPER_SOCKET_FD, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
        peer.ss_family != AF_UNIX)
        return 0;
    char* end = nullptr;
    long kind = strtol(argv[2], &end, 10);
    return *end == '\0' && kind > 0 && kind <= 255 ? static_cast<int>(kind) : 0;
}

#ifdef DISCWREN_TEST_HOOKS
// The tests' helper: a reader that comes to a disc of this name dies, as a
// reader crashing on a bad image would.
void crashOnChosenDiscs(const std::string& disc) {
    if (disc.find("crashes-reader") != std::string::npos) raise(SIGKILL);
    // A confined reader dies on a call its filter does not allow.
    if (disc.find("forbidden-call") != std::string::npos) execl("/bin/true", "true", nullptr);
}
#endif

}  // namespace

void helperMainIfStarted(int argc, char* argv[]) {
    int kind = helperStartedAs(argc, argv);
    if (kind == 0) return;
    // Whatever else was inherited is the dialog's (input devices are opened
    // without close-on-exec): none of it stays open here.
    closefrom(HELPER_SOCKET_FD + 1);
    // Ends with the dialog, and at once if that is gone already.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != static_cast<pid_t>(atol(argv[3]))) exit(0);
    // Its name in process lists, rather than that of /proc/self/exe.
    prctl(PR_SET_NAME, "discWrenHelper");
    signal(SIGPIPE, SIG_IGN);
#ifdef DISCWREN_TEST_HOOKS
    gameidServeBeforeRead = crashOnChosenDiscs;
#endif
    exit(helperServe(HELPER_SOCKET_FD, static_cast<HelperKind>(kind)) ? 0 : 2);
}
