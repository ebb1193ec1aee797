// The hash helper's service: one data file at a time, with its progress.
#include "helper/hash/md5_service.h"

#include <poll.h>

#include "protocol/messages.h"
#include "util/md5.h"

namespace {

// Sends the progress on; the dialog's socket becoming readable means it is
// gone (a request comes only after the answer): the digest stops.
int sendProgress(void* data, long long done, long long total) {
    int fd = *static_cast<int*>(data);
    if (!helperSendAll(fd, encode(HashProgress{done, total}))) return 1;
    struct pollfd ready = {fd, POLLIN, 0};
    return poll(&ready, 1, 0) > 0 ? 1 : 0;
}

}  // namespace

bool md5ServiceHandle(int fd, HelperMessage kind, HelperReader& in, int entered) {
    HashRequest request;
    if (kind != HashRequest::KIND || !decode(in, &request)) return false;
    HashDigest out;
    out.result = entered == 0 ? md5File(request.file.c_str(), out.digest, sendProgress, &fd)
                              : MD5_UNREADABLE;
    return helperSendAll(fd, encode(out));
}
