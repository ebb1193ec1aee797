#include "clients/cdscan.h"

#include <errno.h>

#include <cstdio>
#include <iterator>

#include "clients/helperclient.h"
#include "protocol/messages.h"

namespace {

bool handle(HelperMessage kind, HelperReader& in, void*);
void lost(void*);

struct Client {
    HelperClient helper{{HELPER_SCAN, handle, lost, nullptr}};
    uint32_t sent = 0;  // number of the last request sent
    std::vector<std::string> sentFolders;
    std::vector<ScanImage> answer;  // the images of the answer coming in
    bool queued = false;            // a request waits for the answer to the one sent
    bool queuedRereadAll = false;
    std::vector<std::string> queuedFolders;
    bool sentKeep = false;              // the request sent is a KEEP
    std::vector<ScanKeptId> keepQueue;  // IDs to keep, sent when no scan waits
    int found = 0;
    CdscanReceiver receiver = nullptr;
    void* receiverData = nullptr;
};

Client client;

bool send(const std::vector<std::string>& folders, bool rereadAll);
bool sendKeep();

// The next request once the helper is idle: a queued scan, then IDs to keep.
void sendNext() {
    if (client.queued) {
        client.queued = false;
        send(client.queuedFolders, client.queuedRereadAll);
    } else if (!client.keepQueue.empty()) {
        sendKeep();
    }
}

// The answer is in, with images for the receiver (none for a failed scan):
// the receiver sees the scan finished, then the queued request, if any, goes.
void answered(std::vector<ScanImage>* images) {
    client.helper.answered();
    client.sentKeep = false;
    client.found = 0;
    if (images) {
        std::vector<CD*> list;
        list.reserve(images->size());
        for (const ScanImage& image : *images)
            if (CD* cd = cdNew(image.path.c_str(), image.name.c_str())) list.push_back(cd);
        images->clear();
        if (client.receiver) client.receiver(list, client.sentFolders, client.receiverData);
        for (CD* cd : list) CDDestructor(cd);
    }
    if (!client.helper.outstanding()) sendNext();
}

bool handle(HelperMessage kind, HelperReader& in, void*) {
    switch (kind) {
    case SCAN_MSG_FOUND: {
        ScanFound found;
        if (!decode(in, &found)) return false;
        client.found = static_cast<int>(found.images);
        return true;
    }
    case SCAN_MSG_UNREADABLE: {
        ScanUnreadable unreadable;
        if (!decode(in, &unreadable)) return false;
        errno = unreadable.error;
        perror(unreadable.folder.c_str());
        return true;
    }
    case SCAN_MSG_IMAGES: {
        ScanImages part;
        if (!client.helper.outstanding() || client.sentKeep || !decode(in, &part)) return false;
        client.answer.insert(client.answer.end(), std::make_move_iterator(part.images.begin()),
                             std::make_move_iterator(part.images.end()));
        return true;
    }
    case SCAN_MSG_KEPT: {
        ScanKept kept;
        if (!decode(in, &kept) || !client.helper.outstanding() || !client.sentKeep ||
            kept.seq != client.sent)
            return false;
        answered(nullptr);
        return true;
    }
    case SCAN_MSG_DONE: {
        ScanDone done;
        if (!decode(in, &done) || !client.helper.outstanding() || client.sentKeep ||
            done.seq != client.sent || done.total != client.answer.size())
            return false;
        std::vector<ScanImage> images;
        images.swap(client.answer);
        answered(&images);
        return true;
    }
    case SCAN_MSG_FAILED: {
        ScanFailed failed;
        if (!decode(in, &failed) || !client.helper.outstanding() || client.sentKeep ||
            failed.seq != client.sent)
            return false;
        client.answer.clear();
        answered(nullptr);  // the images known stay
        return true;
    }
    default:
        return false;
    }
}

// The request got no answer from two helpers: the images known stay. IDs
// that were to be kept are dropped; a scan waiting behind them still goes.
void lost(void*) {
    client.answer.clear();
    client.found = 0;
    if (!client.sentKeep) client.queued = false;
    client.sentKeep = false;
    sendNext();
}

// Sends a request; the dialog's folder goes along as a descriptor, so a folder
// renamed meanwhile is still the one read. When that folder cannot be opened
// the request is answered at once as failed: the images known stay.
bool send(const std::vector<std::string>& folders, bool rereadAll) {
    // A folder longer than any path cannot be read, and the helper takes it
    // as a bad request: it is reported here, and the others are scanned.
    ScanRequest request{client.sent + 1, rereadAll, {}};
    for (const std::string& folder : folders) {
        if (folder.size() <= HELPER_TEXT_MAX) {
            request.folders.push_back(folder);
        } else {
            errno = ENAMETOOLONG;
            perror(folder.c_str());
        }
    }
    if (!client.helper.requestFromHere(encode(request))) return false;
    client.answer.clear();
    client.found = 0;
    client.sent++;
    client.sentFolders = folders;
    return true;
}

// Sends the first IDs waiting, as many as one frame holds, with the dialog's
// folder, where the kept list is.
bool sendKeep() {
    size_t next = 0;
    ScanKeep keep{client.sent + 1, std::move(client.keepQueue)};
    std::string frame = encode(keep, 0, &next);
    client.keepQueue = std::move(keep.ids);
    if (!client.helper.requestFromHere(frame)) return false;
    client.keepQueue.erase(client.keepQueue.begin(), client.keepQueue.begin() + next);
    client.sent++;
    client.sentKeep = true;
    return true;
}

}  // namespace

void cdscanKeepIds(std::vector<ScanKeptId> ids) {
    // An ID no disc can give would make the helper refuse the whole batch.
    for (ScanKeptId& id : ids)
        if (id.forget || keptlistIdSound(id.kept.id)) client.keepQueue.push_back(std::move(id));
    if (!client.keepQueue.empty() && !client.helper.outstanding() && !client.queued) sendKeep();
}

void cdscanForgetIds(std::vector<std::string> images) {
    std::vector<ScanKeptId> forget;
    forget.reserve(images.size());
    for (std::string& image : images) forget.push_back({std::move(image), {}, true});
    cdscanKeepIds(std::move(forget));
}

void cdscanSetReceiver(CdscanReceiver receiver, void* data) {
    client.receiver = receiver;
    client.receiverData = data;
}

void cdscanRequest(const std::vector<std::string>& folders, bool rereadAll) {
    if (folders.empty() && !cdscanBusy()) {
        std::vector<CD*> none;
        if (client.receiver) client.receiver(none, folders, client.receiverData);
        return;
    }
    if (client.helper.outstanding() || client.queued) {
        client.queuedFolders = folders;
        client.queuedRereadAll = client.queued ? client.queuedRereadAll || rereadAll : rereadAll;
        client.queued = true;
        return;
    }
    send(folders, rereadAll);
}

bool cdscanBusy() { return (client.helper.outstanding() && !client.sentKeep) || client.queued; }

bool cdscanWait(int timeoutMs) {
    client.helper.wait(timeoutMs);
    return !cdscanBusy();
}

int cdscanFound() { return client.found; }

int cdscanHelperPid() { return client.helper.pid(); }

void cdscanStop() {
    // IDs still waiting go to an idle helper before it is let go: it takes
    // the request in before it sees the end of its socket.
    if (!client.helper.outstanding() && !client.keepQueue.empty()) sendKeep();
    client.keepQueue.clear();
    client.sentKeep = false;
    client.helper.drop(false);
    client.answer.clear();
    client.queued = false;
    client.found = 0;
}
