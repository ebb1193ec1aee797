// The hash helper's side of clients/md5job.h.
#include "helper/hash/md5_service.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <string>

#include "protocol/hash_messages.h"
#include "util/md5.h"

namespace {

// Sends the progress on; the dialog's socket becoming readable means it is
// gone (a request comes only after the answer): the digest stops.
int sendProgress(void* data, long long done, long long total) {
    int fd = *static_cast<int*>(data);
    HelperWriter out(MD5_MSG_PROGRESS);
    out.i64(done).i64(total);
    if (!helperSendAll(fd, out.frame())) return 1;
    struct pollfd ready = {fd, POLLIN, 0};
    return poll(&ready, 1, 0) > 0 ? 1 : 0;
}

}  // namespace

void md5Serve(int fd) {
    HelperMessage kind;
    std::string fields;
    int home = -1;
    while (helperReceive(fd, &kind, &fields, &home)) {
        HelperReader in(fields.data(), fields.size());
        std::string file = in.str();
        bool entered = home >= 0 && fchdir(home) == 0;
        if (home >= 0) close(home);
        home = -1;
        if (kind != MD5_MSG_HASH || !in.done() || file.size() > MD5_FILE_MAX) return;
        unsigned char digest[16] = {};
        int result = entered ? md5File(file.c_str(), digest, sendProgress, &fd) : MD5_UNREADABLE;
        HelperWriter out(MD5_MSG_DIGEST);
        out.i32(result).bytes(digest, sizeof digest);
        if (!helperSendAll(fd, out.frame())) return;
    }
}
