#include "clients/md5job.h"

#include <cstring>
#include <set>
#include <string>

#include "clients/helperclient.h"
#include "protocol/messages.h"
#include "util/md5.h"

namespace {

bool handle(HelperMessage kind, HelperReader& in, void*);
void lost(void*);

struct Job {
    std::string file;
    Md5JobCallbacks callbacks;
    bool waiting = false;  // queued behind a cancelled hash of the same file
};

HelperClient hasher({HELPER_HASH, handle, lost, nullptr});
Job job;
bool running = false;
// Files whose cancelled hash has a helper that has not ended yet.
std::set<std::string> cancelled;

void finish(int result, const unsigned char digest[16]) {
    Md5JobCallbacks callbacks = job.callbacks;
    running = false;
    job.waiting = false;
    if (callbacks.done) callbacks.done(result, digest, callbacks.data);
}

bool handle(HelperMessage kind, HelperReader& in, void*) {
    if (kind == HashProgress::KIND) {
        HashProgress progress;
        if (!decode(in, &progress)) return false;
        if (running && job.callbacks.progress)
            job.callbacks.progress(progress.done, progress.total, job.callbacks.data);
        return true;
    }
    HashDigest answer;
    if (kind != HashDigest::KIND || !decode(in, &answer) || !hasher.outstanding()) return false;
    hasher.answered();
    if (running) finish(answer.result, answer.digest);
    return true;
}

// A helper that died on the file twice gives no digest, as an unreadable file.
void lost(void*) {
    unsigned char none[16] = {};
    if (running) finish(MD5_UNREADABLE, none);
}

// Sends the request; the dialog's folder goes along as a descriptor.
bool begin() { return hasher.requestFromHere(encode(HashRequest{job.file})); }

// A cancelled hash's helper has ended: a job waiting for it starts now.
void cancelledEnded(void* file) {
    auto* name = static_cast<std::string*>(file);
    cancelled.erase(*name);
    if (running && job.waiting && job.file == *name) {
        job.waiting = false;
        if (!begin()) {
            unsigned char none[16] = {};
            finish(MD5_UNREADABLE, none);
        }
    }
    delete name;
}

}  // namespace

bool md5jobStart(const char* file, const Md5JobCallbacks& callbacks) {
    if (running || !file || strlen(file) > HELPER_TEXT_MAX) return false;
    job.file = file;
    job.callbacks = callbacks;
    job.waiting = cancelled.count(job.file) != 0;
    if (!job.waiting && !begin()) return false;
    running = true;
    return true;
}

bool md5jobRunning() { return running; }

void md5jobCancel() {
    if (!running) return;
    running = false;
    if (job.waiting || !hasher.outstanding()) return;
    // The helper is killed; the next hash of this file waits until it has ended.
    cancelled.insert(job.file);
    hasher.drop(true, cancelledEnded, new std::string(job.file));
}
