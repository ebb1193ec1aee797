// The scan helper's messages, in frames as protocol/frames.h describes.
//
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
//                       u8 forget, str id, stamps as in     list (disc/keptlist.h), or with
//                       protocol/gameid_messages.h);        forget 1 remove the image's ID and
//                       with it, the dialog's folder        stamps (id then empty, stamps zero); a
//                                                           later entry of an image wins; with it,
//                                                           the dialog's folder as a descriptor
//   KEPT        scan    u32 seq                             the answer to KEEP seq, whether or not
//                                                           the list changed
//
// Every SCAN gets exactly one answer, DONE or FAILED, and every KEEP one KEPT,
// in the order sent; the dialog sends the next only after it. An ID is one
// keptlistIdSound accepts. The image list has no limit: it comes
// in as many IMAGES as it takes, each within HELPER_FRAME_MAX. A path or a
// name is at most SCAN_TEXT_MAX bytes; anything else is a bad message.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "disc/keptlist.h"
#include "protocol/frames.h"

enum ScanMessage : HelperMessage {
    SCAN_MSG_SCAN = 1,
    SCAN_MSG_FOUND,
    SCAN_MSG_UNREADABLE,
    SCAN_MSG_IMAGES,
    SCAN_MSG_DONE,
    SCAN_MSG_FAILED,
    SCAN_MSG_KEEP,
    SCAN_MSG_KEPT,
};

constexpr size_t SCAN_TEXT_MAX = 4095;

struct ScanImage {
    std::string path;  // the folder, with its '/'
    std::string name;
};

// The IMAGES frames that carry images, each within HELPER_FRAME_MAX, in order.
std::vector<std::string> scanImageFrames(const std::vector<ScanImage>& images);
// Sends those frames (the helper's side); false when the dialog is gone.
bool scanSendImages(int fd, const std::vector<ScanImage>& images);
// Appends the images of one IMAGES message; false when it does not parse.
bool scanReadImages(HelperReader& in, std::vector<ScanImage>* images);

// An image's game ID for the kept list, or, with forget, the removal of the
// one kept (kept is then empty).
struct ScanKeptId {
    std::string image;  // full path
    KeptId kept;
    bool forget = false;
};

// The KEEP frame of request seq for ids[first...], as many as fit within
// HELPER_FRAME_MAX (at least one); *next gets the index after the last taken.
std::string scanKeepFrame(uint32_t seq, const std::vector<ScanKeptId>& ids, size_t first,
                          size_t* next);
// The fields of one KEEP message; false when they do not parse or hold an ID
// keptlistIdSound refuses.
bool scanReadKeep(HelperReader& in, uint32_t* seq, KeptIdChanges* ids);
