// MD5 sums of data files computed by hash helpers (clients/spawn.h): a file on
// a share that does not answer holds its helper, never the dialog. One job is
// the dialog's at a time; its callbacks run on the main thread, from the GLib
// main loop.
#pragma once

struct Md5JobCallbacks {
    // Bytes hashed so far and the total (-1 when the size is unknown).
    void (*progress)(long long done, long long total, void* data) = nullptr;
    // The end: md5File's result (0 with the digest, else why there is none,
    // util/md5.h) after the last progress call; MD5_UNREADABLE also for a
    // helper that died on the file. Not called for a cancelled job.
    void (*done)(int result, const unsigned char digest[16], void* data) = nullptr;
    void* data = nullptr;
};

// Starts hashing file; false when a job runs already or no helper can be had.
// While a hash of the same file that was cancelled still waits for its storage,
// the new one starts when that one has ended: at most one per file waits.
bool md5jobStart(const char* file, const Md5JobCallbacks& callbacks);
// True from md5jobStart until done is called or the job is cancelled.
bool md5jobRunning();
// Drops the job at once; its helper is killed and reaped when its storage
// lets it end. Also what the dialog's shutdown calls.
void md5jobCancel();
