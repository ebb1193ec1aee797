#include "catalogue/gameid.h"

#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <vector>

#include "util/md5.h"
#include "util/path.h"

namespace {

const size_t kCnfLimit = 64 * 1024;      // SYSTEM.CNF is read up to this size
const size_t kSheetLimit = 1024 * 1024;  // a sheet larger than this is not one
const int kBlock = 2048;                 // the file system's block
const long long kRootDirLimit = 64;      // blocks of the root folder searched
const uint16_t kFuzz = 20;               // sectors the fuzzy open searches around the PVD
const char kSync[12] = {0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0};

// Reads up to size bytes at offset; the number read (short at the end of the file).
long long readAt(int fd, void* buffer, size_t size, long long offset) {
    size_t done = 0;
    while (done < size) {
        ssize_t got = pread(fd, static_cast<char*>(buffer) + done, size - done, offset + done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += got;
    }
    return done;
}

// The ID's shape once the name is cut out: 4 letters, '_' or '-', 5 digits
// (ASCII whatever the locale).
std::string idOfName(const std::string& name) {
    std::string kept;
    for (char c : name)
        if (c != '.') kept += c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    if (kept.size() != 10 || (kept[4] != '_' && kept[4] != '-')) return "";
    for (int i = 0; i < 10; i++) {
        char c = kept[i];
        if (i < 4 ? !(c >= 'A' && c <= 'Z') : i > 4 && !(c >= '0' && c <= '9')) return "";
    }
    return kept.substr(0, 4) + "-" + kept.substr(5);
}

// The ID a BOOT line's value names: its first word, after the last '\' or
// ':', up to ';'.
std::string idOfBootValue(const char* value, size_t length) {
    size_t end = 0;
    while (end < length && value[end] != ' ' && value[end] != '\t' && value[end] != '\r') end++;
    size_t start = end;
    while (start > 0 && value[start - 1] != '\\' && value[start - 1] != ':') start--;
    size_t stop = start;
    while (stop < end && value[stop] != ';') stop++;
    return idOfName(std::string(value + start, stop - start));
}

// A file's size and modification time.
void noteFile(const std::string& path, long long* size, timespec* time) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    *size = st.st_size;
    *time = st.st_mtim;
}

// name in folder, or the one name there that equals it ignoring case; "" when neither.
std::string findIgnoringCase(const std::string& folder, const std::string& name) {
    std::string exact = folder + name;
    if (access(exact.c_str(), F_OK) == 0) return exact;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return "";
    std::string found;
    while (dirent* entry = readdir(dir))
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = folder + entry->d_name;
            break;
        }
    closedir(dir);
    return found;
}

// The bytes of a small file; false when it cannot be read or is larger than limit.
bool readSmallFile(const std::string& path, size_t limit, std::string* bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) <= limit;
    if (ok) {
        bytes->resize(st.st_size);
        bytes->resize(readAt(fd, bytes->data(), bytes->size(), 0));
    }
    close(fd);
    return ok;
}

// Reads the 2048 data bytes of the file system's blocks from a data track in
// an image file, at a known start and sector size. libiso9660's fuzzy open
// finds a track only near the start of its file and guesses the sector size,
// and it knows no sectors with subchannel data after them (2448 bytes), so
// this narrowest reader takes those cases: the primary volume descriptor,
// the root folder's records and SYSTEM.CNF's extent, nothing more.
class TrackReader {
public:
    TrackReader(int fd, long long start, int sectorSize)
        : fd_(fd), start_(start), sectorSize_(sectorSize) {}

    // Block lsn's data; false past the end of the file.
    bool block(long long lsn, char* out) const {
        char sector[2448];
        long long at = start_ + lsn * sectorSize_;
        if (readAt(fd_, sector, sectorSize_, at) != sectorSize_) return false;
        int data = 0;
        if (sectorSize_ == 2336) data = 8;  // a form 1 subheader, without sync and header
        if (sectorSize_ >= 2352) data = sector[15] == 2 ? 24 : 16;  // mode 2 has a subheader
        memcpy(out, sector + data, kBlock);
        return true;
    }

    // SYSTEM.CNF's bytes (up to kCnfLimit) from the root folder; false
    // without a file system or without the file.
    bool systemCnf(std::string* text) const {
        char pvd[kBlock];
        if (!block(16, pvd) || pvd[0] != 1 || memcmp(pvd + 1, "CD001", 5) != 0) return false;
        const unsigned char* root = reinterpret_cast<const unsigned char*>(pvd) + 156;
        long long extent = le32(root + 2);
        long long blocks = (le32(root + 10) + kBlock - 1) / kBlock;
        for (long long b = 0; b < blocks && b < kRootDirLimit; b++) {
            unsigned char dir[kBlock];
            if (!block(extent + b, reinterpret_cast<char*>(dir))) return false;
            for (int at = 0; at + 33 <= kBlock && dir[at] != 0; at += dir[at]) {
                int length = dir[at], nameLength = dir[at + 32];
                if (length < 34 || at + length > kBlock || 33 + nameLength > length) break;
                std::string name(reinterpret_cast<char*>(dir + at + 33), nameLength);
                if (strcasecmp(name.c_str(), "SYSTEM.CNF;1") != 0 &&
                    strcasecmp(name.c_str(), "SYSTEM.CNF") != 0)
                    continue;
                return readExtent(le32(dir + at + 2), le32(dir + at + 10), text);
            }
        }
        return false;
    }

private:
    static long long le32(const unsigned char* p) {
        return p[0] | p[1] << 8 | p[2] << 16 | (long long)p[3] << 24;
    }

    bool readExtent(long long lsn, long long size, std::string* text) const {
        size_t wanted = size < (long long)kCnfLimit ? size : kCnfLimit;
        text->assign((wanted + kBlock - 1) / kBlock * kBlock, '\0');
        for (size_t b = 0; b * kBlock < wanted; b++)
            if (!block(lsn + b, &(*text)[b * kBlock])) return false;
        text->resize(wanted);
        return true;
    }

    int fd_;
    long long start_;
    int sectorSize_;
};

// SYSTEM.CNF's bytes through libiso9660 from a file or a device whose file
// system starts at its beginning, in sectors of 2048, 2336 or 2352 bytes.
bool systemCnfByLibrary(const std::string& path, std::string* text) {
    iso9660_t* iso = iso9660_open_fuzzy_ext(path.c_str(), ISO_EXTENSION_NONE, kFuzz);
    if (!iso) return false;
    iso9660_stat_t* st = iso9660_ifs_stat(iso, "/SYSTEM.CNF;1");
    if (!st) st = iso9660_ifs_stat_translate(iso, "/system.cnf");
    bool ok = false;
    if (st && st->type == iso9660_stat_s::_STAT_FILE) {
        size_t wanted = st->size < kCnfLimit ? st->size : kCnfLimit;
        long blocks = (wanted + kBlock - 1) / kBlock;
        std::vector<char> buffer(blocks * kBlock + 1);
        ok = blocks == 0 ||
             iso9660_iso_seek_read(iso, buffer.data(), st->lsn, blocks) == blocks * kBlock;
        if (ok) text->assign(buffer.data(), wanted);
    }
    if (st) iso9660_stat_free(st);
    iso9660_close(iso);
    return ok;
}

// Whether the raw sectors at start are followed by 96 subchannel bytes each:
// sync patterns 2448 bytes apart, not 2352.
bool hasSubchannel(int fd, long long start) {
    char sync[3][12];
    return readAt(fd, sync[0], 12, start) == 12 && memcmp(sync[0], kSync, 12) == 0 &&
           readAt(fd, sync[1], 12, start + 2448) == 12 && memcmp(sync[1], kSync, 12) == 0 &&
           !(readAt(fd, sync[2], 12, start + 2352) == 12 && memcmp(sync[2], kSync, 12) == 0);
}

// The ID on the data track at track.offset of the open file fd (path names it).
GameIdResult readTrack(int fd, const std::string& path, const SheetTrack& track, std::string* id) {
    int sectorSize = track.sectorSize;
    // A sheet that does not tell the sector size (a .mds) or tells it without
    // the subchannel bytes.
    if (hasSubchannel(fd, track.offset)) sectorSize = 2448;
    std::string text;
    bool found;
    if (track.offset == 0 && sectorSize != 2448)
        found = systemCnfByLibrary(path, &text);
    else if (sectorSize == 2048 || sectorSize == 2336 || sectorSize == 2352 || sectorSize == 2448)
        found = TrackReader(fd, track.offset, sectorSize).systemCnf(&text);
    else
        return GAMEID_UNREADABLE;
    if (!found) return GAMEID_NONE;
    *id = gameidFromSystemCnf(text.data(), text.size());
    return id->empty() ? GAMEID_NONE : GAMEID_FOUND;
}

void dropMessage(cdio_log_level_t level, const char*) {
    if (level == CDIO_LOG_ASSERT) _exit(2);
}

}  // namespace

std::string gameidFromSystemCnf(const char* text, size_t size) {
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && text[end] != '\n') end++;
        size_t i = start;
        while (i < end && (text[i] == ' ' || text[i] == '\t')) i++;
        size_t key = i;
        while (i < end && text[i] != ' ' && text[i] != '\t' && text[i] != '=') i++;
        if (i - key == 4 && strncasecmp(text + key, "BOOT", 4) == 0) {
            while (i < end && (text[i] == ' ' || text[i] == '\t')) i++;
            if (i < end && text[i] == '=') {
                i++;
                while (i < end && (text[i] == ' ' || text[i] == '\t')) i++;
                size_t stop = end;
                if (stop > i && text[stop - 1] == '\r') stop--;
                return idOfBootValue(text + i, stop - i);
            }
        }
        start = end + 1;
    }
    return "";
}

bool gameidTrackOf(const std::string& sheetPath, SheetTrack* track) {
    std::string folder = sheetPath.substr(0, sheetPath.rfind('/') + 1);
    const char* path = sheetPath.c_str();
    SheetTrack found;
    found.sectorSize = kBlock;
    bool cue = checkExtension(path, ".cue"), toc = checkExtension(path, ".toc");
    if (cue || toc) {
        std::string text;
        if (!readSmallFile(sheetPath, kSheetLimit, &text)) return false;
        if (!(cue ? sheetCueDataTrack : sheetTocDataTrack)(text.data(), text.size(), &found))
            return false;
        // Sheets written on other systems separate folders with '\'.
        for (char& c : found.file)
            if (c == '\\') c = '/';
        if (found.file.empty()) return false;
        if (found.file[0] == '/') {
            if (access(found.file.c_str(), F_OK) == 0) {
                *track = found;
                return true;
            }
        } else {
            std::string inFolder = findIgnoringCase(folder, found.file);
            if (!inFolder.empty()) {
                found.file = inFolder;
                *track = found;
                return true;
            }
        }
        // A name from another machine: its last part, in the sheet's folder.
        found.file = findIgnoringCase(folder, found.file.substr(found.file.rfind('/') + 1));
    } else {
        // The data file beside the sheet, as Calc md5 finds it (any other name stays).
        std::vector<char> data(sheetPath.begin(), sheetPath.end());
        data.resize(data.size() + 8, '\0');
        md5DataFile(data.data());
        found.file = findIgnoringCase(folder, std::string(data.data()).substr(folder.size()));
    }
    if (found.file.empty()) return false;
    *track = found;
    return true;
}

GameIdResult gameidReadImage(const std::string& sheetPath, std::string* id, GameIdFiles* files) {
    id->clear();
    GameIdFiles noted;
    noteFile(sheetPath, &noted.sheetSize, &noted.sheetTime);
    if (files) *files = noted;
    if (checkExtension(sheetPath.c_str(), ".exe"))
        return access(sheetPath.c_str(), R_OK) == 0 ? GAMEID_NONE : GAMEID_UNREADABLE;
    SheetTrack track;
    if (!gameidTrackOf(sheetPath, &track)) return GAMEID_UNREADABLE;
    int fd = open(track.file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return GAMEID_UNREADABLE;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return GAMEID_UNREADABLE;
    }
    noted.dataSize = st.st_size;
    noted.dataTime = st.st_mtim;
    if (files) *files = noted;
    GameIdResult result = readTrack(fd, track.file, track, id);
    close(fd);
    return result;
}

GameIdResult gameidDriveStatus(int status) {
    switch (status) {
    case CDS_DISC_OK:
    case CDS_NO_INFO:  // the drive cannot tell: try the disc
        return GAMEID_FOUND;
    case CDS_NO_DISC:
    case CDS_TRAY_OPEN:
        return GAMEID_NO_DISC;
    default:  // not ready, a failed request, an unknown answer
        return GAMEID_UNREADABLE;
    }
}

GameIdResult gameidReadDevice(const std::string& device, std::string* id) {
    id->clear();
    int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return GAMEID_UNREADABLE;
    // Only a disc's blocks are read: a FIFO or a terminal could keep the
    // reader waiting for ever.
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISBLK(st.st_mode) || S_ISREG(st.st_mode))) {
        close(fd);
        return GAMEID_UNREADABLE;
    }
    int status = ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
    // Block devices that are not drives answer EINVAL (the block layer's
    // answer to a request it does not know), other files ENOTTY.
    bool drive = !(status < 0 && (errno == ENOTTY || errno == EINVAL));
    GameIdResult result = GAMEID_UNREADABLE;
    if (drive && gameidDriveStatus(status) != GAMEID_FOUND) {
        result = gameidDriveStatus(status);
    } else if (drive) {
        std::string text;
        result = GAMEID_NONE;
        if (systemCnfByLibrary(device, &text)) {
            *id = gameidFromSystemCnf(text.data(), text.size());
            if (!id->empty()) result = GAMEID_FOUND;
        }
    } else {
        // Not a drive (a loop device, say): its blocks are the file system's.
        SheetTrack whole;
        whole.sectorSize = kBlock;
        result = readTrack(fd, device, whole, id);
    }
    close(fd);
    return result;
}

bool gameidPrepareReader(unsigned long long addressSpace) {
    cdio_log_set_handler(dropMessage);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer's shadow memory already takes more address space than any limit.
    addressSpace = 0;
#endif
    if (addressSpace == 0) return true;
    struct rlimit limit = {addressSpace, addressSpace};
    struct rlimit current;
    if (getrlimit(RLIMIT_AS, &current) == 0 && current.rlim_max != RLIM_INFINITY &&
        current.rlim_max < addressSpace)
        limit.rlim_cur = limit.rlim_max = current.rlim_max;
    return setrlimit(RLIMIT_AS, &limit) == 0;
}
