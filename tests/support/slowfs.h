// A slow, read-only view of a folder through FUSE (the discwren_slowfs
// server), standing in for a network share: look-ups, status and listing calls
// wait a set time, and listings (reads too, when asked) can be held until the
// test releases them.
// Usable without gtest, so the benchmarks mount through it too.
#pragma once

#include <memory>
#include <string>

namespace testsupport {

// How the view answers beyond its delay.
struct SlowFsOptions {
    double cacheSeconds = 0;  // look-ups and status the kernel keeps (0: none)
    int maxCalls = 64;        // calls served at once
    std::string failListing;  // a path in the view ("/a") whose listings break off with EIO
    std::string failReads;    // a file in the view ("/a.bin") whose reads fail with EIO
    bool allowOther = false;  // other users may use the view
};

// Whether path is a mount point of this process's mount table.
bool isMountPoint(const std::string& path);

// In a test: skips it, saying why, where no view can be mounted.
#define SKIP_WITHOUT_SLOWFS() \
    if (std::string whyNot; !testsupport::SlowFs::available(&whyNot)) GTEST_SKIP() << whyNot

class SlowFs {
public:
    // True when a view can be mounted here; otherwise false with the reason
    // in *why (no /dev/fuse, not root, no fusermount3, server not built).
    static bool available(std::string* why);

    // Mounts a view of source at a fresh mount point and waits until it
    // answers. delayUs is the wait per call; hold starts with listings held;
    // with holdReads, reads of files are held and released with them.
    // On failure mounted() is false and error() says why.
    explicit SlowFs(const std::string& source, int delayUs = 0, bool hold = false,
                    bool holdReads = false, const SlowFsOptions& options = {});
    // Releases held listings and unmounts; never leaves a mount behind.
    ~SlowFs();
    SlowFs(SlowFs&&) noexcept;
    SlowFs& operator=(SlowFs&&) noexcept;

    bool mounted() const;
    const std::string& error() const;
    // The mount point, without a trailing slash.
    const std::string& path() const;

    // Listings that start from now on wait (hold) or go on (release, which also
    // frees every listing waiting now). Both return once the server has acted.
    bool hold();
    bool release();
    // Blocks until a listing (or read) is held, oldest first, and gives its
    // path in the view ("/" for the root); false when none is held within a minute.
    [[nodiscard]] bool waitHeld(std::string* path = nullptr);

    // Releases and unmounts now; the destructor does it otherwise.
    void unmount();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace testsupport
