// A helper process of the dialog (protocol/frames.h): the program's own file
// started again as KIND PARENT-PID after the helper argument, with its socket
// on descriptor 3; it runs the service of its kind there.
#include "helper/helper_main.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>

#include "helper/discid/gameid_service.h"
#include "helper/hash/md5_service.h"
#include "helper/scan/scan_service.h"
#include "protocol/frames.h"

namespace {

// One service per kind.
struct Service {
    HelperKind kind;
    void (*serve)(int fd);
};

const Service services[] = {
    {HELPER_SCAN, cdscanServe},
    {HELPER_HASH, md5Serve},
    {HELPER_GAMEID, gameidServe},
};

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
    for (const Service& service : services)
        if (service.kind == kind) {
            service.serve(HELPER_SOCKET_FD);
            exit(0);
        }
    exit(2);
}
