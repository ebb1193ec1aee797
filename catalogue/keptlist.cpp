#include "catalogue/keptlist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>

#include "util/wholefile.h"

namespace {

const char kHeader[] = "discWren image list 1\n";
const size_t kHeaderSize = sizeof kHeader - 1;
// Far above any real library (100,000 images take a few MB); a larger file is not ours.
const size_t kLargest = size_t(256) << 20;

// The end record's text: the counts in plain decimal, one form per list.
std::string countsText(size_t folders, size_t images) {
    return std::to_string(folders) + " " + std::to_string(images);
}

// False, appending nothing, for a text with a NUL, which would end the record early.
bool appendRecord(std::string* bytes, char type, const std::string& text) {
    if (text.find('\0') != std::string::npos) return false;
    *bytes += type;
    *bytes += text;
    *bytes += '\0';
    return true;
}

bool parseRecords(const char* data, size_t size, std::vector<KeptFolder>* out) {
    if (size < kHeaderSize || memcmp(data, kHeader, kHeaderSize) != 0) return false;
    const char* p = data + kHeaderSize;
    const char* end = data + size;
    size_t images = 0;
    while (p < end) {
        const char* nul = static_cast<const char*>(memchr(p, '\0', size_t(end - p)));
        if (!nul || nul == p) return false;  // cut short, or a record without a type
        char type = *p;
        std::string_view text(p + 1, size_t(nul - p - 1));
        p = nul + 1;
        switch (type) {
        case 'F':
            out->push_back(KeptFolder{std::string(text), {}});
            break;
        case 'I':
            if (out->empty()) return false;
            out->back().images.emplace_back(text);
            images++;
            break;
        case 'E':
            return p == end && text == countsText(out->size(), images);
        default:
            return false;
        }
    }
    return false;  // no end record: the file was cut
}

// Reads fd to its end in as few calls as the kernel allows; expected is its size.
bool readWhole(int fd, size_t expected, std::string* bytes) {
    bytes->resize(expected + 1);  // one byte more shows a file that grew meanwhile
    size_t done = 0;
    for (;;) {
        if (done == bytes->size()) {
            if (bytes->size() > kLargest) return false;
            bytes->resize(bytes->size() * 2);
        }
        ssize_t n = read(fd, &(*bytes)[done], bytes->size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        done += size_t(n);
    }
    bytes->resize(done);
    return true;
}

// Creates a new file of a name no other writer uses, beside target, with the
// usual mode (0666 less the umask). Its descriptor, or -1 with errno set.
int createTemporary(const std::string& target, std::string* temporary) {
    static std::atomic<unsigned> counter{0};
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = target.substr(folder.size());
    for (int attempt = 0; attempt < 100; attempt++) {
        // The process id parts writers; the counter parts this process's own
        // writes and steps past files a crashed writer of the same id left.
        *temporary =
            folder + "." + base + "." + std::to_string(getpid()) + "." + std::to_string(counter++);
        int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

const char* keptlistPath() { return "./discWren.images"; }

bool keptlistSerialise(const std::vector<KeptFolder>& folders, std::string* bytes) {
    bytes->clear();
    size_t size = kHeaderSize + 32, images = 0;
    for (const KeptFolder& f : folders) {
        size += f.folder.size() + 2;
        for (const std::string& image : f.images) size += image.size() + 2;
        images += f.images.size();
    }
    bytes->reserve(size);
    bytes->append(kHeader, kHeaderSize);
    for (const KeptFolder& f : folders) {
        bool ok = appendRecord(bytes, 'F', f.folder);
        for (size_t i = 0; ok && i < f.images.size(); i++)
            ok = appendRecord(bytes, 'I', f.images[i]);
        if (!ok) {
            bytes->clear();
            return false;
        }
    }
    appendRecord(bytes, 'E', countsText(folders.size(), images));
    return true;
}

bool keptlistParse(const char* data, size_t size, std::vector<KeptFolder>* out) {
    out->clear();
    bool ok = false;
    try {
        ok = parseRecords(data, size, out);
    } catch (const std::bad_alloc&) {
    }
    if (!ok) std::vector<KeptFolder>().swap(*out);
    return ok;
}

bool keptlistRead(std::vector<KeptFolder>* out, const char* file) {
    out->clear();
    // Non-blocking, so that a pipe put in the file's place cannot hang the start.
    int fd = open(file ? file : keptlistPath(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    std::string bytes;
    struct stat st;
    bool ok = false;
    try {
        ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) <= kLargest &&
             readWhole(fd, size_t(st.st_size), &bytes);
    } catch (const std::bad_alloc&) {
    }
    close(fd);
    return ok && keptlistParse(bytes.data(), bytes.size(), out);
}

int keptlistWrite(const std::vector<KeptFolder>& folders, const char* file) {
    std::string bytes;
    try {
        if (!keptlistSerialise(folders, &bytes)) {
            errno = EINVAL;
            return -1;
        }
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return -1;
    }
    std::string target = file ? file : keptlistPath();
    std::string temporary;
    int fd = createTemporary(target, &temporary);
    if (fd < 0) return -1;
    // rename replaces a link of the target's name itself, never the file it names.
    return wholefileCommit(fd, temporary, target, bytes);
}

bool keptlistSame(const std::vector<KeptFolder>& a, const std::vector<KeptFolder>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        const KeptFolder &x = a[i], &y = b[i];
        if (x.folder != y.folder || x.images.size() != y.images.size()) return false;
        if (x.images == y.images) continue;
        // Another order of the same images: compare sorted views.
        std::vector<std::string_view> sx(x.images.begin(), x.images.end());
        std::vector<std::string_view> sy(y.images.begin(), y.images.end());
        std::sort(sx.begin(), sx.end());
        std::sort(sy.begin(), sy.end());
        if (sx != sy) return false;
    }
    return true;
}
