#include "helper/serve.h"

#include <errno.h>
#include <unistd.h>

#include <string>

#include "helper/discid/gameid_service.h"
#include "helper/hash/md5_service.h"
#include "helper/scan/scan_service.h"

namespace {

// One service per kind: what it readies once (nullptr: nothing), and its
// handler for one request, which answers it.
struct Service {
    HelperKind kind;
    bool (*start)(int fd);
    bool (*handle)(int fd, HelperMessage kind, HelperReader& in, int entered);
};

const Service services[] = {
    {HELPER_SCAN, cdscanServiceStart, cdscanServiceHandle},
    {HELPER_HASH, nullptr, md5ServiceHandle},
    {HELPER_GAMEID, gameidServiceStart, gameidServiceHandle},
};

}  // namespace

bool helperServe(int fd, HelperKind kind) {
    const Service* service = nullptr;
    for (const Service& each : services)
        if (each.kind == kind) service = &each;
    if (!service) return false;
    if (service->start && !service->start(fd)) return true;
    HelperMessage message;
    std::string fields;
    int home = -1;
    while (helperReceive(fd, &message, &fields, &home)) {
        // 0 once in the dialog's folder, else why not (EBADF: none came).
        int entered = home < 0 ? EBADF : fchdir(home) == 0 ? 0 : errno;
        if (home >= 0) close(home);
        home = -1;
        HelperReader in(fields.data(), fields.size());
        if (!service->handle(fd, message, in, entered)) break;
    }
    return true;
}
