#include "helper/scan/readpool.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace catalogue {

namespace {

// Threads listing ahead on one file system. On the share benchmark (0.5 ms a
// call) the complete list takes 9.3 s with 8 and 5.5 s with 16, 40 s one by one.
constexpr size_t THREADS_PER_DEVICE = 16;
// How long a thread with nothing to list waits for more before it ends.
constexpr std::chrono::seconds IDLE_WHILE(2);
// The listing threads' niceness (the thread that walks keeps the process's).
constexpr int LISTING_NICENESS = 10;

// Folders kept open for their subfolders, at most: half the process's
// descriptors, less a reserve for the walk (which keeps some levels open),
// the listing threads and the rest of the program.
int openFolderBudget() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    rlim_t soft = limit.rlim_cur == RLIM_INFINITY ? 1 << 20 : limit.rlim_cur;
    if (soft > (1 << 20)) soft = 1 << 20;
    long budget = static_cast<long>(soft) / 2 - 128;
    return budget > 0 ? static_cast<int>(budget) : 0;
}

}  // namespace

struct ReadPool::State {
    // A folder kept open while subfolders queued under it wait; closed with
    // the last of them.
    struct OpenFolder {
        int fd;
        std::atomic<int>* open;
        ~OpenFolder() {
            close(fd);
            --*open;
        }
    };
    struct Job {
        std::string path;
        dev_t dev;
        std::shared_ptr<OpenFolder> parent;  // listed relative to it when there is one
        bool started = false, done = false;
        bool dropped = false;  // not wanted any more: left unread, not expanded
        Listing listing;
    };
    struct Device {
        std::vector<std::shared_ptr<Job>> stack;  // the newest on top
        std::condition_variable wake;
        size_t threads = 0, idle = 0;
        bool stopping = false;
    };

    std::mutex lock;
    std::condition_variable answered;
    std::unordered_map<std::string, std::shared_ptr<Job>> jobs;  // queued or listed, not taken
    std::unordered_map<dev_t, std::shared_ptr<Device>> devices;
    std::atomic<int> open{0};
    const int openLimit = openFolderBudget();

    // Pushes the jobs (the first to be taken first) and starts threads while
    // more wait than idle threads can take. Under lock.
    void push(const std::shared_ptr<State>& self, dev_t dev,
              std::vector<std::shared_ptr<Job>>& fresh) {
        std::shared_ptr<Device>& device = devices[dev];
        if (!device) device = std::make_shared<Device>();
        for (auto job = fresh.rbegin(); job != fresh.rend(); ++job) {
            jobs[(*job)->path] = *job;
            device->stack.push_back(*job);
        }
        while (device->threads < THREADS_PER_DEVICE && device->idle < device->stack.size()) {
            try {
                std::thread(serve, self, device).detach();
            } catch (const std::system_error&) {
                break;  // no thread now: what stays queued the walk lists itself
            }
            ++device->threads;
            ++device->idle;
        }
        device->wake.notify_all();
    }

    // One listing thread: takes the newest job of its device until the device
    // goes or nothing comes for a while.
    static void serve(std::shared_ptr<State> self, std::shared_ptr<Device> device) {
        // Background work: the dialog's window goes first when the cores are busy.
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), LISTING_NICENESS);
        ListingBuffer buffer;
        std::unique_lock<std::mutex> guard(self->lock);
        for (;;) {
            if (device->stack.empty() && !device->stopping) {
                device->wake.wait_for(guard, IDLE_WHILE,
                                      [&] { return device->stopping || !device->stack.empty(); });
            }
            if (device->stopping || device->stack.empty()) break;
            std::shared_ptr<Job> job = device->stack.back();
            device->stack.pop_back();
            if (job->dropped) {
                // Its open parent may be let go here: closed with no lock held.
                guard.unlock();
                job.reset();
                guard.lock();
                continue;
            }
            job->started = true;
            --device->idle;
            bool keep = self->open.fetch_add(1) < self->openLimit;
            if (!keep) --self->open;
            guard.unlock();
            self->list(self, *job, keep, buffer);
            guard.lock();
            ++device->idle;
        }
        --device->threads;
        --device->idle;
    }

    // Lists the job's folder and queues its subfolders. Called unlocked;
    // folders are closed unlocked too (a close may wait on a share).
    void list(const std::shared_ptr<State>& self, Job& job, bool keep, ListingBuffer& buffer) {
        int fd = -1;
        std::string name;
        std::shared_ptr<OpenFolder> parent = std::move(job.parent);
        if (parent) {
            size_t slash = job.path.rfind('/', job.path.size() - 2);
            name = job.path.substr(slash + 1, job.path.size() - slash - 2);
        }
        Listing listing = listFolder(job.path, parent ? parent->fd : -1, name.c_str(), false,
                                     job.dev, buffer, keep ? &fd : nullptr);
        // The parent's file system, whose changes go unreported.
        if (listing.error == 0 && listing.st.st_dev == job.dev) listing.unreported = true;
        std::shared_ptr<OpenFolder> folder;
        if (fd >= 0) {
            folder.reset(new OpenFolder{fd, &open});
        } else if (keep) {
            --open;
        }
        std::vector<std::shared_ptr<Job>> children;
        if (listing.error == 0 && listing.unreported) {
            for (const Entry& entry : listing.entries) {
                if (entry.child != NEW_FOLDER) continue;
                auto child = std::make_shared<Job>();
                child->path = job.path + entry.name + "/";
                child->dev = listing.st.st_dev;
                child->parent = folder;
                children.push_back(std::move(child));
            }
        }
        std::lock_guard<std::mutex> guard(lock);
        job.listing = std::move(listing);
        job.done = true;
        answered.notify_all();
        if (job.dropped) return;
        // Folders queued meanwhile (by the walk) stay as they are.
        std::vector<std::shared_ptr<Job>> fresh;
        for (std::shared_ptr<Job>& child : children)
            if (jobs.find(child->path) == jobs.end()) fresh.push_back(std::move(child));
        if (!fresh.empty()) push(self, fresh.front()->dev, fresh);
    }
};

ReadPool::ReadPool() : state(std::make_shared<State>()) {}

ReadPool::~ReadPool() {
    cancel();
    keepDevices({});
}

void ReadPool::queue(const std::vector<std::string>& paths, dev_t dev) {
    std::lock_guard<std::mutex> guard(state->lock);
    std::vector<std::shared_ptr<State::Job>> fresh;
    for (const std::string& path : paths) {
        if (state->jobs.find(path) != state->jobs.end()) continue;
        auto job = std::make_shared<State::Job>();
        job->path = path;
        job->dev = dev;
        fresh.push_back(std::move(job));
    }
    if (!fresh.empty()) state->push(state, dev, fresh);
}

bool ReadPool::take(const std::string& path, Listing* listing) {
    std::unique_lock<std::mutex> guard(state->lock);
    auto found = state->jobs.find(path);
    if (found == state->jobs.end()) return false;
    std::shared_ptr<State::Job> job = found->second;
    state->jobs.erase(found);
    if (!job->started) {
        // Not begun (the walk caught up with it): the caller lists it.
        job->dropped = true;
        return false;
    }
    state->answered.wait(guard, [&] { return job->done; });
    const Listing& got = job->listing;
    if (got.error == EMFILE || got.error == ENFILE) return false;
    if (got.error == 0 && !got.unreported) return false;  // watched: listed with its watch set
    *listing = std::move(job->listing);
    return true;
}

void ReadPool::cancel() {
    // Queued folders hold their open parents: both go, closed once unlocked.
    std::vector<std::shared_ptr<State::Job>> gone;
    std::lock_guard<std::mutex> guard(state->lock);
    for (auto& job : state->jobs) job.second->dropped = true;
    state->jobs.clear();
    for (auto& device : state->devices) {
        for (auto& job : device.second->stack) gone.push_back(std::move(job));
        device.second->stack.clear();
    }
}

void ReadPool::keepDevices(const std::unordered_set<dev_t>& keep) {
    std::vector<std::shared_ptr<State::Job>> gone;  // closed once unlocked
    std::lock_guard<std::mutex> guard(state->lock);
    for (auto device = state->devices.begin(); device != state->devices.end();) {
        if (keep.count(device->first)) {
            ++device;
            continue;
        }
        device->second->stopping = true;
        for (auto& job : device->second->stack) gone.push_back(std::move(job));
        device->second->stack.clear();
        device->second->wake.notify_all();
        device = state->devices.erase(device);
    }
}

}  // namespace catalogue
