// discWrenHelper: a helper process of the dialog (util/helper.h). Started as
//   discWrenHelper KIND PARENT-PID
// with its socket on descriptor 3; it runs the service of its kind there.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>

#include "catalogue/cdscan.h"
#include "catalogue/gameidmessages.h"
#include "util/helper.h"
#include "util/md5job.h"

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

constexpr int SOCKET_FD = 3;

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

int main(int argc, char* argv[]) {
    // Whatever else was inherited is the dialog's (input devices are opened
    // without close-on-exec): none of it stays open here.
    closefrom(SOCKET_FD + 1);
    if (argc != 3) return 2;
    // Ends with the dialog, and at once if that is gone already.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != static_cast<pid_t>(atol(argv[2]))) return 0;
    signal(SIGPIPE, SIG_IGN);
#ifdef DISCWREN_TEST_HOOKS
    gameidServeBeforeRead = crashOnChosenDiscs;
#endif
    long kind = atol(argv[1]);
    for (const Service& service : services)
        if (service.kind == kind) {
            service.serve(SOCKET_FD);
            return 0;
        }
    return 2;
}
