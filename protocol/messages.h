// Every message between the dialog and its helpers, in frames as
// protocol/frames.h describes: one kind per message over all helper kinds,
// its fields, and one encoder and one decoder each, used by both ends.
//
// The scan helper (HELPER_SCAN):
//   kind        from    fields                              meaning
//   SCAN        dialog  u32 seq, u8 rereadAll, u32 n,       scan these image folders; relative ones
//                       n × str folder; with it, the        are taken from the dialog's folder
//                       dialog's folder as a descriptor
//                       (SCM_RIGHTS)
//   FOUND       scan    u32 images                          images found so far by the running scan
//   UNREADABLE  scan    i32 errno, str folder               a folder that cannot be read
//   IMAGES      scan    u32 n, n × (str path, str name)     n more images of the answer being sent
//   DONE        scan    u32 seq, u32 total                  the answer to SCAN seq: the images of
//                                                           the IMAGES since the last answer, total
//                                                           of them, folder by folder in the order
//                                                           of the request
//   FAILED      scan    u32 seq, i32 errno                  the answer to SCAN seq when the scan
//                                                           cannot run (the dialog's folder cannot
//                                                           be entered): the images known stay as
//                                                           they are
//   KEEP        dialog  u32 seq, u32 n, n × (str image,     keep these images' game IDs in the kept
//                       u8 forget, str id, stamps);         list (disc/keptlist.h), or with forget
//                       with it, the dialog's folder        1 remove the image's ID and stamps (id
//                                                           then empty, stamps zero); a later entry
//                                                           of an image wins
//   KEPT        scan    u32 seq                             the answer to KEEP seq, whether or not
//                                                           the list changed
// Every SCAN gets exactly one answer, DONE or FAILED, and every KEEP one KEPT,
// in the order sent. The image list has no limit: it comes in as many IMAGES
// as it takes, each within HELPER_FRAME_MAX.
//
// The hash helper (HELPER_HASH):
//   HASH        dialog  str file; with it, the dialog's     hash this data file (a relative one is
//                       folder                              taken from the dialog's folder)
//   PROGRESS    hash    i64 done, i64 total                 bytes hashed so far (total -1: unknown)
//   DIGEST      hash    i32 result, 16 bytes                the answer: md5File's result and digest
//                                                           (a zero digest with why there is none;
//                                                           MD5_UNREADABLE when the dialog's folder
//                                                           cannot be entered)
// Every HASH gets exactly one DIGEST, after any PROGRESS.
//
// The ID helper (HELPER_GAMEID):
//   READ        dialog  u8 how, str disc, stamps; with      read the ID of disc (a relative name is
//                       it, the dialog's folder             taken from the dialog's folder) as how
//                                                           says (GameIdHow)
//   ID          helper  i32 result, str id, stamps          the answer: a GameIdResult, or
//                                                           GAMEID_UNCHANGED (no data read) when a
//                                                           check found the stamps as they were;
//                                                           the stamps of the files read
// Every READ gets exactly one ID; each helper reads one disc at a time (the
// reader's library is not thread-safe). A disc or a folder that cannot be
// read is answered GAMEID_UNREADABLE.
//
// stamps are a GameIdFiles: i64 sheet size, i64 seconds, i64 nanoseconds, the
// same for the data file. In every service the dialog sends a request only
// after the answer to the one before. A text (folder, path, name, file, disc)
// is at most HELPER_TEXT_MAX bytes, an ID one keptlistIdSound accepts, a flag
// 0 or 1: anything else is a bad message, and so is a frame with fields
// missing or left over; either side takes a bad message as the end of the
// other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disc/gameid.h"
#include "disc/keptlist.h"
#include "protocol/frames.h"

enum MessageKind : HelperMessage {
    SCAN_MSG_SCAN = 1,
    SCAN_MSG_FOUND,
    SCAN_MSG_UNREADABLE,
    SCAN_MSG_IMAGES,
    SCAN_MSG_DONE,
    SCAN_MSG_FAILED,
    SCAN_MSG_KEEP,
    SCAN_MSG_KEPT,
    MD5_MSG_HASH = 16,
    MD5_MSG_PROGRESS,
    MD5_MSG_DIGEST,
    GAMEID_MSG_READ = 32,
    GAMEID_MSG_ID,
};
static_assert(SCAN_MSG_KEPT < MD5_MSG_HASH && MD5_MSG_DIGEST < GAMEID_MSG_READ,
              "each service's kinds are its own");

// The longest text any message holds: a folder, a path, a name or a file.
constexpr size_t HELPER_TEXT_MAX = 4095;
// The longest ID the ID helper answers with; a longer one is answered as none.
constexpr size_t GAMEID_ID_MAX = 64;

// How a READ reads its disc.
enum GameIdHow : uint8_t {
    GAMEID_HOW_IMAGE = 0,   // an image, through gameidReadImage
    GAMEID_HOW_DEVICE = 1,  // a drive or a block device, through gameidReadDevice
    GAMEID_HOW_CHECK = 2,   // an image, read only when its files' stamps differ
    GAMEID_HOW_DISC = 3,    // a block device (a loop device) as a device, else an image
};

// The answer to a check whose stamps are the files' own.
constexpr int GAMEID_UNCHANGED = -1;

struct ScanImage {
    std::string path;  // the folder, with its '/'
    std::string name;
};

// An image's game ID for the kept list, or, with forget, the removal of the
// one kept (kept is then empty).
struct ScanKeptId {
    std::string image;  // full path
    KeptId kept;
    bool forget = false;
};

// One struct per kind, its fields in wire order.
struct ScanRequest {
    static constexpr HelperMessage KIND = SCAN_MSG_SCAN;
    uint32_t seq = 0;
    bool rereadAll = false;
    std::vector<std::string> folders;
};
struct ScanFound {
    static constexpr HelperMessage KIND = SCAN_MSG_FOUND;
    uint32_t images = 0;
};
struct ScanUnreadable {
    static constexpr HelperMessage KIND = SCAN_MSG_UNREADABLE;
    int32_t error = 0;
    std::string folder;
};
struct ScanImages {
    static constexpr HelperMessage KIND = SCAN_MSG_IMAGES;
    std::vector<ScanImage> images;
};
struct ScanDone {
    static constexpr HelperMessage KIND = SCAN_MSG_DONE;
    uint32_t seq = 0;
    uint32_t total = 0;
};
struct ScanFailed {
    static constexpr HelperMessage KIND = SCAN_MSG_FAILED;
    uint32_t seq = 0;
    int32_t error = 0;
};
struct ScanKeep {
    static constexpr HelperMessage KIND = SCAN_MSG_KEEP;
    uint32_t seq = 0;
    std::vector<ScanKeptId> ids;
};
struct ScanKept {
    static constexpr HelperMessage KIND = SCAN_MSG_KEPT;
    uint32_t seq = 0;
};
struct HashRequest {
    static constexpr HelperMessage KIND = MD5_MSG_HASH;
    std::string file;
};
struct HashProgress {
    static constexpr HelperMessage KIND = MD5_MSG_PROGRESS;
    int64_t done = 0;
    int64_t total = 0;
};
struct HashDigest {
    static constexpr HelperMessage KIND = MD5_MSG_DIGEST;
    int32_t result = 0;
    unsigned char digest[16] = {};
};
struct GameIdRequest {
    static constexpr HelperMessage KIND = GAMEID_MSG_READ;
    uint8_t how = GAMEID_HOW_IMAGE;
    std::string disc;  // not empty
    GameIdFiles kept;  // for GAMEID_HOW_CHECK; zero otherwise
};
struct GameIdAnswer {
    static constexpr HelperMessage KIND = GAMEID_MSG_ID;
    int32_t result = GAMEID_NONE;  // a GameIdResult up to GAMEID_NO_DRIVE, or GAMEID_UNCHANGED
    std::string id;
    GameIdFiles files;
};

// The frame of a message. A message whose fields are over their limits is
// still framed; its decoder refuses it.
std::string encode(const ScanRequest& message);
std::string encode(const ScanFound& message);
std::string encode(const ScanUnreadable& message);
std::string encode(const ScanDone& message);
std::string encode(const ScanFailed& message);
std::string encode(const ScanKept& message);
std::string encode(const HashRequest& message);
std::string encode(const HashProgress& message);
std::string encode(const HashDigest& message);
std::string encode(const GameIdRequest& message);
std::string encode(const GameIdAnswer& message);
// The IMAGES frames that carry the images, each within HELPER_FRAME_MAX, in
// order (none for no images).
std::vector<std::string> encode(const ScanImages& message);
// The KEEP frame for ids[first...], as many as fit within HELPER_FRAME_MAX
// (at least one); *next gets the index after the last taken.
std::string encode(const ScanKeep& message, size_t first, size_t* next);

// Reads the fields of a message of the struct's kind: false when one is
// missing, over its limit or out of range, or when bytes are left over (the
// message is then bad, whatever *message holds).
bool decode(HelperReader& in, ScanRequest* message);
bool decode(HelperReader& in, ScanFound* message);
bool decode(HelperReader& in, ScanUnreadable* message);
bool decode(HelperReader& in, ScanImages* message);
bool decode(HelperReader& in, ScanDone* message);
bool decode(HelperReader& in, ScanFailed* message);
bool decode(HelperReader& in, ScanKeep* message);
bool decode(HelperReader& in, ScanKept* message);
bool decode(HelperReader& in, HashRequest* message);
bool decode(HelperReader& in, HashProgress* message);
bool decode(HelperReader& in, HashDigest* message);
bool decode(HelperReader& in, GameIdRequest* message);
bool decode(HelperReader& in, GameIdAnswer* message);

// Decodes a message of any kind and hands it to visit; false when the kind is
// unknown or the message does not decode.
template <typename Visit>
bool messageVisit(HelperMessage kind, HelperReader& in, Visit&& visit) {
    auto as = [&](auto message) { return decode(in, &message) && (visit(message), true); };
    switch (kind) {
    case SCAN_MSG_SCAN:
        return as(ScanRequest());
    case SCAN_MSG_FOUND:
        return as(ScanFound());
    case SCAN_MSG_UNREADABLE:
        return as(ScanUnreadable());
    case SCAN_MSG_IMAGES:
        return as(ScanImages());
    case SCAN_MSG_DONE:
        return as(ScanDone());
    case SCAN_MSG_FAILED:
        return as(ScanFailed());
    case SCAN_MSG_KEEP:
        return as(ScanKeep());
    case SCAN_MSG_KEPT:
        return as(ScanKept());
    case MD5_MSG_HASH:
        return as(HashRequest());
    case MD5_MSG_PROGRESS:
        return as(HashProgress());
    case MD5_MSG_DIGEST:
        return as(HashDigest());
    case GAMEID_MSG_READ:
        return as(GameIdRequest());
    case GAMEID_MSG_ID:
        return as(GameIdAnswer());
    }
    return false;
}
