#include "catalogue/scanworker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "catalogue/cdsort.h"
#include "catalogue/scantree.h"

namespace catalogue {

namespace {

// Everything the worker uses lives here, shared with the thread: a worker that
// is let go while a listing hangs keeps it alive after the catalogue has shut down.
struct Worker {
    std::mutex lock;
    std::condition_variable wake;  // a request or the stop
    std::condition_variable done;  // the worker went idle
    bool stop = false;
    bool running = false;
    bool queued = false;
    bool queuedRereadAll = false;
    std::vector<std::string> queuedDirs;
    bool ready = false;
    ScanResult result;
    unsigned forgets = 0;
    void (*notify)() = nullptr;

    std::atomic<bool> abandon{false};
    std::atomic<int> found{0};
    // Used by the worker thread alone.
    ScanTree tree;
    std::vector<std::string> lastDirs;
    std::vector<std::string> lastFound;  // full paths of the last result, in scan order
    bool haveLast = false;
    unsigned lastGeneration = 0;
};

std::shared_ptr<Worker> current;

void release(std::vector<CD*>& images) {
    for (CD* cd : images) CDDestructor(cd);
    images.clear();
}

// One scan on the worker thread; false when it was abandoned.
bool scanOnce(Worker& w, const std::vector<std::string>& dirs, bool rereadAll, ScanResult* result) {
    if (result->generation != w.lastGeneration) {
        w.haveLast = false;
        w.lastGeneration = result->generation;
    }
    std::vector<ScanItem> items;
    w.tree.beginBuild(rereadAll);
    for (const std::string& dir : dirs) w.tree.scan(dir, items);
    w.tree.endBuild();
    if (w.abandon.load()) return false;

    std::vector<std::string> full;
    full.reserve(items.size());
    for (const ScanItem& item : items) full.push_back(item.path + item.name);
    result->changed = !w.haveLast || dirs != w.lastDirs || full != w.lastFound;
    if (result->changed) {
        result->images.reserve(items.size());
        for (const ScanItem& item : items) {
            if (CD* cd = cdNew(item.path.c_str(), item.name.c_str()))
                result->images.push_back(cd);
        }
        sortCatalogue(result->images);
        w.lastFound.swap(full);
        w.lastDirs = dirs;
        w.haveLast = true;
    }
    return true;
}

void run(std::shared_ptr<Worker> w) {
    std::unique_lock<std::mutex> hold(w->lock);
    for (;;) {
        w->wake.wait(hold, [&] { return w->stop || w->queued; });
        if (w->stop) break;
        std::vector<std::string> dirs;
        dirs.swap(w->queuedDirs);
        bool rereadAll = w->queuedRereadAll;
        w->queued = false;
        w->queuedRereadAll = false;
        w->running = true;
        ScanResult result;
        result.generation = w->forgets;
        hold.unlock();

        bool finished = scanOnce(*w, dirs, rereadAll, &result);

        hold.lock();
        w->running = false;
        if (!finished || w->stop) {
            release(result.images);
            break;
        }
        if (result.changed) {
            // The newest list replaces one that was never taken in.
            release(w->result.images);
            w->result = std::move(result);
        } else if (!w->ready) {
            w->result.changed = false;
            w->result.generation = result.generation;
        }
        w->ready = true;
        if (!w->queued) w->done.notify_all();
        // Under the lock, so that no notice follows scanWorkerStop.
        if (w->notify) w->notify();
    }
    w->running = false;
    release(w->result.images);
    w->done.notify_all();
}

// The worker, started on first use. The thread is never joined: it ends by
// itself once told to stop, even when that is long after the stop.
Worker& worker() {
    if (!current) {
        current = std::make_shared<Worker>();
        current->tree.setAbandon(&current->abandon);
        current->tree.setProgress(&current->found);
        std::thread(run, current).detach();
    }
    return *current;
}

}  // namespace

void scanWorkerRequest(const std::vector<std::string>& dirs, bool rereadAll) {
    worker();
    std::lock_guard<std::mutex> hold(current->lock);
    current->queuedDirs = dirs;
    current->queuedRereadAll = current->queuedRereadAll || rereadAll;
    current->queued = true;
    current->wake.notify_one();
}

bool scanWorkerRunning() {
    if (!current) return false;
    std::lock_guard<std::mutex> hold(current->lock);
    return current->running || current->queued;
}

bool scanWorkerWait(int timeoutMs) {
    if (!current) return true;
    std::unique_lock<std::mutex> hold(current->lock);
    auto idle = [&] { return !current->running && !current->queued; };
    if (timeoutMs < 0) {
        current->done.wait(hold, idle);
        return true;
    }
    return current->done.wait_for(hold, std::chrono::milliseconds(timeoutMs), idle);
}

bool scanWorkerTake(ScanResult* result) {
    if (!current) return false;
    std::lock_guard<std::mutex> hold(current->lock);
    if (!current->ready) return false;
    *result = std::move(current->result);
    current->result = ScanResult();
    current->ready = false;
    return true;
}

void scanWorkerForget() {
    std::lock_guard<std::mutex> hold(worker().lock);
    ++current->forgets;
}

bool scanWorkerStale(const ScanResult& result) {
    std::lock_guard<std::mutex> hold(worker().lock);
    return result.generation != current->forgets;
}

int scanWorkerFound() { return current ? current->found.load(std::memory_order_relaxed) : 0; }

void scanWorkerSetNotify(void (*notify)()) {
    worker();
    std::lock_guard<std::mutex> hold(current->lock);
    current->notify = notify;
}

void scanWorkerStop() {
    if (!current) return;
    {
        // An idle worker ends at once; a busy one may sit in a listing that
        // never returns, and ends by itself when the call comes back.
        std::lock_guard<std::mutex> hold(current->lock);
        current->stop = true;
        current->abandon.store(true);
        current->notify = nullptr;
        current->wake.notify_one();
    }
    current.reset();
}

}  // namespace catalogue
