#include "disc/keptlist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>
#include <new>
#include <string_view>

#include "disc/gameid.h"

namespace {

// Written as version 2; version 1, the same without ID records, is still read.
const char kHeader[] = "discWren image list 2\n";
const char kHeaderVersion1[] = "discWren image list 1\n";
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

// Far above any real library; an end record that counts more is not ours.
const size_t kMostFolders = size_t(1) << 16;
const size_t kMostImages = size_t(1) << 20;

// One count of an end record, in the one form countsText writes.
bool readCount(std::string_view digits, size_t most, size_t* count) {
    if (digits.empty() || digits.size() > 7 || (digits[0] == '0' && digits.size() > 1))
        return false;
    *count = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        *count = *count * 10 + size_t(c - '0');
    }
    return *count <= most;
}

// A pass over the records before the end record. Without out it only checks
// them; with out it builds the list the checking pass found sound.
struct Walk {
    size_t folders = 0, images = 0;  // the end record's counts not yet met
    bool inFolder = false;
    std::string_view folder;  // the name of the last folder record
    bool ids = true;          // the version holds ID records
    std::string_view image;   // the image an ID record may follow, empty after one
    std::vector<KeptFolder>* out = nullptr;
    const std::vector<std::pair<size_t, size_t>>* sizes = nullptr;  // with out: of each folder
};

bool takeFolder(Walk& walk, std::string_view name) {
    if (walk.folders == 0) return false;
    walk.folders--;
    walk.inFolder = true;
    walk.folder = name;
    walk.image = {};
    if (walk.out) {
        walk.out->push_back(KeptFolder{std::string(name), {}, {}});
        // Its lists are made at their size at once.
        const auto& [images, ids] = (*walk.sizes)[walk.out->size() - 1];
        walk.out->back().images.reserve(images);
        walk.out->back().ids.reserve(ids);
    }
    return true;
}

// An image's full path is its folder exactly as the settings hold it, then a name.
bool takeImage(Walk& walk, std::string_view path) {
    if (walk.images == 0 || !walk.inFolder || path.size() <= walk.folder.size() ||
        path.compare(0, walk.folder.size(), walk.folder) != 0)
        return false;
    walk.images--;
    walk.image = path;
    if (walk.out) walk.out->back().images.emplace_back(path);
    return true;
}

// One signed decimal number of an ID record, then its blank; moves text past both.
bool readStamp(std::string_view* text, long long* value) {
    size_t blank = text->find(' ');
    std::string_view digits = text->substr(0, blank);
    bool negative = !digits.empty() && digits[0] == '-';
    if (negative) digits.remove_prefix(1);
    if (blank == std::string_view::npos || digits.empty() || digits.size() > 18) return false;
    // One written form: no leading zeros, no "-0".
    if (digits[0] == '0' && (digits.size() > 1 || negative)) return false;
    long long number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    *value = negative ? -number : number;
    text->remove_prefix(blank + 1);
    return true;
}

// The ID of the image record just before, with its files' stamps.
bool takeId(Walk& walk, std::string_view text) {
    if (!walk.ids || walk.image.empty()) return false;
    long long stamps[6];
    for (long long& stamp : stamps)
        if (!readStamp(&text, &stamp)) return false;
    if (!keptlistIdSound(text)) return false;
    if (walk.out) {
        KeptId& kept = walk.out->back().ids[std::string(walk.image)];
        kept.id = std::string(text);
        kept.files.sheetSize = stamps[0];
        kept.files.sheetTime = {static_cast<time_t>(stamps[1]), static_cast<long>(stamps[2])};
        kept.files.dataSize = stamps[3];
        kept.files.dataTime = {static_cast<time_t>(stamps[4]), static_cast<long>(stamps[5])};
    }
    walk.image = {};
    return true;
}

// The records that may come before the end record, by their type byte.
struct RecordType {
    char type;
    bool (*take)(Walk& walk, std::string_view text);
};
const RecordType kRecordTypes[] = {{'F', takeFolder}, {'I', takeImage}, {'G', takeId}};

// Walks the records from p up to end, the start of the end record; every
// record there ends in a NUL, since one ends just before end.
bool walkRecords(const char* p, const char* end, Walk& walk) {
    while (p < end) {
        const char* nul = static_cast<const char*>(memchr(p, '\0', size_t(end - p)));
        if (nul == p) return false;  // a record without a type
        const RecordType* type = kRecordTypes;
        while (type != std::end(kRecordTypes) && type->type != *p) type++;
        if (type == std::end(kRecordTypes) ||
            !type->take(walk, std::string_view(p + 1, size_t(nul - p - 1))))
            return false;
        p = nul + 1;
    }
    return walk.folders == 0 && walk.images == 0;
}

// The number of image and of ID records of each folder, in order, on records
// that walkRecords found sound.
std::vector<std::pair<size_t, size_t>> countRecords(const char* p, const char* end) {
    std::vector<std::pair<size_t, size_t>> sizes;
    for (; p < end; p = static_cast<const char*>(memchr(p, '\0', size_t(end - p))) + 1) {
        if (*p == 'F')
            sizes.push_back({0, 0});
        else if (*p == 'I')
            sizes.back().first++;
        else
            sizes.back().second++;
    }
    return sizes;
}

// The end record's counts bound the work before anything is built, and the
// list is built only once every record is found sound: a refused file costs
// no memory beyond its bytes.
bool parseRecords(const char* data, size_t size, std::vector<KeptFolder>* out) {
    if (size < kHeaderSize) return false;
    bool version1 = memcmp(data, kHeaderVersion1, kHeaderSize) == 0;
    if (!version1 && memcmp(data, kHeader, kHeaderSize) != 0) return false;
    const char* body = data + kHeaderSize;
    const char* end = data + size;
    if (end == body || end[-1] != '\0') return false;  // empty, or cut short
    const char* last = static_cast<const char*>(memrchr(body, '\0', size_t(end - 1 - body)));
    const char* endRecord = last ? last + 1 : body;
    if (*endRecord != 'E') return false;
    std::string_view counts(endRecord + 1, size_t(end - 2 - endRecord));
    size_t space = counts.find(' ');
    Walk check;
    check.ids = !version1;
    if (space == std::string_view::npos ||
        !readCount(counts.substr(0, space), kMostFolders, &check.folders) ||
        !readCount(counts.substr(space + 1), kMostImages, &check.images))
        return false;
    // A folder record takes at least its type and NUL, an image one byte more.
    if (2 * check.folders + 3 * check.images > size_t(endRecord - body)) return false;
    Walk build = check;
    if (!walkRecords(body, endRecord, check)) return false;
    const std::vector<std::pair<size_t, size_t>> sizes = countRecords(body, endRecord);
    out->reserve(build.folders);
    build.out = out;
    build.sizes = &sizes;
    return walkRecords(body, endRecord, build);
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

}  // namespace

// The text of an ID record.
static std::string idText(const KeptId& kept) {
    const GameIdFiles& f = kept.files;
    std::string text;
    for (long long stamp :
         {f.sheetSize, (long long)f.sheetTime.tv_sec, (long long)f.sheetTime.tv_nsec, f.dataSize,
          (long long)f.dataTime.tv_sec, (long long)f.dataTime.tv_nsec})
        text += std::to_string(stamp) + ' ';
    return text + kept.id;
}

bool keptlistIdSound(std::string_view id) {
    if (id.empty()) return true;
    if (id.size() != 10 || id[4] != '-') return false;
    for (size_t i = 0; i < id.size(); i++)
        if (i < 4 ? !(id[i] >= 'A' && id[i] <= 'Z') : i > 4 && !(id[i] >= '0' && id[i] <= '9'))
            return false;
    return true;
}

bool operator==(const KeptId& a, const KeptId& b) {
    return a.id == b.id && gameidSameStamps(a.files, b.files);
}

const char* keptlistPath() { return "./discWren.images"; }

bool keptlistSerialise(const std::vector<KeptFolder>& folders, std::string* bytes) {
    bytes->clear();
    size_t size = kHeaderSize + 32, images = 0;
    for (const KeptFolder& f : folders) {
        size += f.folder.size() + 2;
        for (const std::string& image : f.images) size += image.size() + 2;
        size += f.ids.size() * 80;  // six stamps and an ID
        images += f.images.size();
    }
    bytes->reserve(size);
    bytes->append(kHeader, kHeaderSize);
    for (const KeptFolder& f : folders) {
        bool ok = appendRecord(bytes, 'F', f.folder);
        for (size_t i = 0; ok && i < f.images.size(); i++) {
            ok = appendRecord(bytes, 'I', f.images[i]);
            auto kept = f.ids.find(f.images[i]);
            if (ok && kept != f.ids.end() && keptlistIdSound(kept->second.id))
                ok = appendRecord(bytes, 'G', idText(kept->second));
        }
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

bool keptlistSame(const std::vector<KeptFolder>& a, const std::vector<KeptFolder>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        const KeptFolder &x = a[i], &y = b[i];
        if (x.folder != y.folder || x.images.size() != y.images.size() || x.ids != y.ids)
            return false;
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
