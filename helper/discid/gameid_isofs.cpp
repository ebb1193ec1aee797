#include "helper/discid/gameid_isofs.h"

#include <cdio/iso9660.h>
#include <errno.h>
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <functional>
#include <vector>

#include "helper/discid/gameid_boot.h"

namespace {

const size_t kCnfLimit = 64 * 1024;  // SYSTEM.CNF is read up to this size
const long long kRootDirLimit = 64;  // blocks a root folder may have
const uint16_t kFuzz = 20;           // sectors the fuzzy open searches around the PVD
const char kSync[12] = {0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0};

// Whether errno tells of a failed read rather than a missing one.
bool readFailed(int error) { return error == EIO || error == ENXIO || error == ENOMEDIUM; }

long long le32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | (long long)p[3] << 24;
}

long long be32(const unsigned char* p) {
    return (long long)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// A both-endian 32-bit field (ISO 9660's 7.3.3): -1 when its halves differ.
long long both32(const unsigned char* p) { return le32(p) == be32(p + 4) ? le32(p) : -1; }

const int kRootRecord = 156;    // the root folder's record in the primary volume descriptor
const int kMultiExtent = 0x80;  // a record's flag: more extents of the file follow

// Whether the system use area of a directory record holds only entries that
// lie within it, as a Rock Ridge reader walks them: each at least 4 bytes,
// and the ones whose contents it parses (NM, TF, SL) consistent with their
// length. An XA area of a form 2 disc reads as one entry of length 0 (its
// user ID's first byte), where a reader stops.
bool systemUseSound(const unsigned char* area, int length) {
    int at = 0;
    while (length - at > 1) {
        if (length - at < 4) return length - at == 3 && area[at + 2] == 0;
        int size = area[at + 2];
        if (size == 0) return true;
        if (size < 4 || at + size > length) return false;
        const unsigned char* entry = area + at;
        if (entry[0] == 'N' && entry[1] == 'M' && size < 5) return false;
        if (entry[0] == 'T' && entry[1] == 'F') {
            if (size < 5) return false;
            int stamps = 0;
            for (int bit = 0; bit < 7; bit++) stamps += entry[4] >> bit & 1;
            if (5 + stamps * (entry[4] & 0x80 ? 17 : 7) > size) return false;
        }
        if (entry[0] == 'S' && entry[1] == 'L') {
            int component = 5;
            while (component < size) {
                if (component + 2 > size || component + 2 + entry[component + 1] > size)
                    return false;
                component += 2 + entry[component + 1];
            }
        }
        at += size;
    }
    return true;
}

// Whether the directory record at record (within its block: room bytes to
// the block's end) is sound: its name and system use area inside it, its
// fields consistent, and a single extent.
bool recordSound(const unsigned char* record, int room) {
    int length = record[0], nameLength = record[32];
    if (length < 34 || length > room || nameLength == 0 || 33 + nameLength > length) return false;
    if (both32(record + 2) < 0 || both32(record + 10) < 0 || (record[25] & kMultiExtent))
        return false;
    int systemUse = 33 + nameLength + (nameLength % 2 == 0);
    return systemUse <= length && systemUseSound(record + systemUse, length - systemUse);
}

// Whether the root folder's blocks hold only sound records, each within its
// block; after a record length of 0 the rest of the block is zero, so that
// every walk of the folder meets the same records.
bool rootFolderSound(const unsigned char* folder, long long size) {
    for (long long at = 0; at < size;) {
        int inBlock = int(at % kBlock);
        if (folder[at] == 0) {
            long long next = at - inBlock + kBlock;
            for (; at < next; at++)
                if (folder[at] != 0) return false;
            continue;
        }
        if (!recordSound(folder + at, kBlock - inBlock)) return false;
        at += folder[at];
    }
    return true;
}

// Reads count blocks from lsn into out: FOUND, MISSING past the end of the
// image, FAILED when a read fails.
using BlockRead = std::function<Search(long long lsn, long count, unsigned char* out)>;

// The root folder's blocks, once the primary volume descriptor and every
// record of the folder are found sound: libiso9660 trusts the folder's size
// (near 4 GiB it wraps the size of the buffer it reads the folder into) and
// the lengths inside each record it walks, so both readers check them first,
// on the blocks the library reads.
Search soundRootFolder(const BlockRead& read, std::vector<unsigned char>* folder) {
    unsigned char pvd[kBlock];
    Search got = read(16, 1, pvd);
    if (got != Search::FOUND) return got;
    const unsigned char* root = pvd + kRootRecord;
    if (pvd[0] != 1 || memcmp(pvd + 1, "CD001", 5) != 0 || root[0] != 34 || root[32] != 1 ||
        !(root[25] & 2) || !recordSound(root, 34))
        return Search::MISSING;
    long long extent = both32(root + 2), size = both32(root + 10);
    if (extent < 0 || size <= 0 || size > kRootDirLimit * kBlock) return Search::MISSING;
    long blocks = (size + kBlock - 1) / kBlock;
    folder->assign(blocks * kBlock, 0);
    got = read(extent, blocks, folder->data());
    if (got != Search::FOUND) return got;
    return rootFolderSound(folder->data(), folder->size()) ? Search::FOUND : Search::MISSING;
}

// How a library read of blocks ended: MISSING when short at the end of the
// file, FAILED when the read failed (errno was cleared before it).
Search libraryRead(iso9660_t* iso, void* buffer, long long lsn, long blocks) {
    if (lsn < 0 || lsn > INT32_MAX) return Search::MISSING;
    errno = 0;
    if (iso9660_iso_seek_read(iso, buffer, lsn, blocks) == blocks * kBlock) return Search::FOUND;
    return readFailed(errno) ? Search::FAILED : Search::MISSING;
}

// Whether the raw sectors at start are followed by 96 subchannel bytes each:
// sync patterns 2448 bytes apart, not 2352. FAILED when the first read fails.
Search hasSubchannel(int fd, long long start) {
    char sync[3][12];
    long long first = readAt(fd, sync[0], 12, start);
    if (first < 0) return Search::FAILED;
    bool found = first == 12 && memcmp(sync[0], kSync, 12) == 0 &&
                 readAt(fd, sync[1], 12, start + 2448) == 12 && memcmp(sync[1], kSync, 12) == 0 &&
                 !(readAt(fd, sync[2], 12, start + 2352) == 12 && memcmp(sync[2], kSync, 12) == 0);
    return found ? Search::FOUND : Search::MISSING;
}

}  // namespace

long long readAt(int fd, void* buffer, size_t size, long long offset) {
    size_t done = 0;
    while (done < size) {
        ssize_t got = pread(fd, static_cast<char*>(buffer) + done, size - done, offset + done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += got;
    }
    return done;
}

Search TrackReader::block(long long lsn, char* out) const {
    char sector[2448];
    long long got = readAt(fd_, sector, sectorSize_, start_ + lsn * sectorSize_);
    if (got != sectorSize_) return got < 0 ? Search::FAILED : Search::MISSING;
    int data = 0;
    if (sectorSize_ == 2336) data = 8;  // a form 1 subheader, without sync and header
    if (sectorSize_ >= 2352) data = sector[15] == 2 ? 24 : 16;  // mode 2 has a subheader
    memcpy(out, sector + data, kBlock);
    return Search::FOUND;
}

Search TrackReader::systemCnf(std::string* text) const {
    std::vector<unsigned char> folder;
    Search got = soundRootFolder(
        [this](long long lsn, long count, unsigned char* out) {
            for (long b = 0; b < count; b++) {
                Search one = block(lsn + b, reinterpret_cast<char*>(out) + b * kBlock);
                if (one != Search::FOUND) return one;
            }
            return Search::FOUND;
        },
        &folder);
    if (got != Search::FOUND) return got;
    // Every record is sound and within its block.
    for (size_t at = 0; at < folder.size(); at += folder[at] ? folder[at] : 1) {
        const unsigned char* record = &folder[at];
        if (record[0] == 0) continue;
        std::string name(reinterpret_cast<const char*>(record + 33), record[32]);
        if (strcasecmp(name.c_str(), "SYSTEM.CNF;1") == 0 ||
            strcasecmp(name.c_str(), "SYSTEM.CNF") == 0)
            return readExtent(le32(record + 2), le32(record + 10), text);
    }
    return Search::MISSING;
}

Search TrackReader::readExtent(long long lsn, long long size, std::string* text) const {
    size_t wanted = size < (long long)kCnfLimit ? size : kCnfLimit;
    text->assign((wanted + kBlock - 1) / kBlock * kBlock, '\0');
    for (size_t b = 0; b * kBlock < wanted; b++) {
        Search got = block(lsn + b, &(*text)[b * kBlock]);
        if (got != Search::FOUND) return got;
    }
    text->resize(wanted);
    return Search::FOUND;
}

Search systemCnfByLibrary(const std::string& path, std::string* text) {
    errno = 0;
    iso9660_t* iso = iso9660_open_fuzzy_ext(path.c_str(), ISO_EXTENSION_NONE, kFuzz);
    if (!iso) return readFailed(errno) ? Search::FAILED : Search::MISSING;
    std::vector<unsigned char> folder;
    Search found =
        soundRootFolder([iso](long long lsn, long count,
                              unsigned char* out) { return libraryRead(iso, out, lsn, count); },
                        &folder);
    iso9660_stat_t* st = nullptr;
    if (found == Search::FOUND) {
        st = iso9660_ifs_stat(iso, "/SYSTEM.CNF;1");
        if (!st) st = iso9660_ifs_stat_translate(iso, "/system.cnf");
        if (!st) st = iso9660_ifs_stat(iso, "/SYSTEM.CNF");  // its Rock Ridge name
        found = st && st->type == iso9660_stat_s::_STAT_FILE ? Search::FOUND : Search::MISSING;
    }
    if (found == Search::FOUND) {
        size_t wanted = st->size < kCnfLimit ? st->size : kCnfLimit;
        long blocks = (wanted + kBlock - 1) / kBlock;
        std::vector<char> buffer(blocks * kBlock + 1);
        if (blocks > 0) found = libraryRead(iso, buffer.data(), st->lsn, blocks);
        if (found == Search::FOUND) text->assign(buffer.data(), wanted);
    }
    if (st) iso9660_stat_free(st);
    iso9660_close(iso);
    return found;
}

GameIdResult readTrack(int fd, const std::string& path, const SheetTrack& track, std::string* id) {
    int sectorSize = track.sectorSize;
    // A sheet that does not tell the sector size (a .mds) or tells it without
    // the subchannel bytes.
    Search subchannel = hasSubchannel(fd, track.offset);
    if (subchannel == Search::FAILED) return GAMEID_UNREADABLE;
    if (subchannel == Search::FOUND) sectorSize = 2448;
    std::string text;
    Search found;
    if (track.offset == 0 && sectorSize != 2448)
        found = systemCnfByLibrary(path, &text);
    else if (sectorSize == 2048 || sectorSize == 2336 || sectorSize == 2352 || sectorSize == 2448)
        found = TrackReader(fd, track.offset, sectorSize).systemCnf(&text);
    else
        return GAMEID_UNREADABLE;
    if (found == Search::FAILED) return GAMEID_UNREADABLE;
    if (found == Search::MISSING) return GAMEID_NONE;
    *id = gameidFromSystemCnf(text.data(), text.size());
    return id->empty() ? GAMEID_NONE : GAMEID_FOUND;
}
