// The dialog's side of one helper process (clients/spawn.h): its socket, its
// process (held by a pidfd), the GLib watch on the socket, the inbox, the
// restart of a helper that is gone, the retry of its request and the reaping.
// Every service holds its helpers through this, so a helper's death is
// handled once, the same way; a service may hold several clients of one kind.
//
// One request is outstanding at a time. A helper that ends, or sends a bad
// message, while a request is outstanding is replaced and the request sent
// again, once; when that fails too the request is lost (Service::lost), so a
// caller never waits on silence. Everything runs on the main thread.
#pragma once

#include <sys/types.h>

#include <string>

#include "protocol/frames.h"

class HelperClient {
public:
    struct Service {
        HelperKind kind = HELPER_SCAN;
        // One message from the helper; false when it is bad (a kind the
        // service does not know, fields that do not parse): the helper ends.
        bool (*handle)(HelperMessage kind, HelperReader& in, void* data) = nullptr;
        // The outstanding request gets no answer: its helper ended or failed twice,
        // or none can be started.
        void (*lost)(void* data) = nullptr;
        void* data = nullptr;
    };

    explicit HelperClient(const Service& service) : service(service) {}
    ~HelperClient();  // lets the helper go: it ends at its end of file
    HelperClient(const HelperClient&) = delete;
    HelperClient& operator=(const HelperClient&) = delete;

    // Sends a request (a frame), starting a helper when none runs; passFd, when
    // not -1, goes along with it and is kept (a copy) for a retry. false when
    // no helper can take it: nothing is outstanding then, and lost is not called.
    bool request(const std::string& frame, int passFd = -1);
    // The same with the dialog's folder (".") passed along, for the relative
    // names a request holds; false, with nothing sent, when it cannot be opened.
    bool requestFromHere(const std::string& frame);
    // Called by the service when the outstanding request has its answer.
    void answered();
    bool outstanding() const { return pending; }
    // Takes in messages until nothing is outstanding, for at most timeoutMs
    // (-1: no limit), without the main loop; true when nothing is outstanding.
    bool wait(int timeoutMs);
    // Lets the helper go: its socket is closed, it is killed when kill is set,
    // and it is reaped once it ends, when ended (if given) is called. An
    // outstanding request is dropped without a call to lost.
    void drop(bool kill, void (*ended)(void*) = nullptr, void* endedData = nullptr);
    // The helper's process id, -1 while none runs.
    pid_t pid() const { return fd >= 0 ? child : -1; }

private:
    bool start();
    bool sendPending();
    void takeIn();
    void failed(bool kill);
    friend struct HelperClientWatch;  // the GLib watch's callback

    Service service;
    int fd = -1;
    int pidfd = -1;
    pid_t child = -1;
    unsigned watch = 0;
    HelperInbox inbox;
    unsigned generation = 0;  // counts helpers, so a handler that drops one stops the intake
    bool pending = false;
    bool retried = false;
    std::string pendingFrame;
    int pendingFd = -1;
};

// Reaps every helper that has ended; the GLib main loop does this by itself,
// a program without one calls it now and then. How many remain to be reaped.
int helperReapEnded();

// How a reaped helper ended: waitid's si_code (CLD_EXITED, CLD_KILLED,
// CLD_DUMPED) and si_status, and whether its client killed it.
struct HelperEnd {
    pid_t pid;
    int code;
    int status;
    bool killed;
};
// Calls watch with every helper reaped from now on (nullptr: none), so that
// a test run sees helpers that die or fail.
void helperWatchEnds(void (*watch)(const HelperEnd& end));
