// What the dialog reads from a helper, on any bytes: the first byte sets the
// size of the pieces the stream arrives in, the rest is the stream. The inbox
// never hands out a frame outside the cap, stops for good at a bad one, and
// the same stream gives the same messages whatever the pieces. Every IMAGES
// part that parses is framed again and must read back the same, and so is
// every KEEP, which the scan helper reads.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzzsupport.h"
#include "protocol/hash_messages.h"
#include "protocol/scan_messages.h"

namespace {

// The messages of a stream taken in pieces of piece bytes; *bad when the
// inbox stopped at a bad frame.
std::vector<std::string> messages(const char* data, size_t size, size_t piece, bool* bad) {
    HelperInbox inbox;
    std::vector<std::string> out;
    HelperMessage kind;
    const char* fields;
    size_t length;
    for (size_t at = 0; at < size; at += piece) {
        inbox.take(data + at, size - at < piece ? size - at : piece);
        while (inbox.next(&kind, &fields, &length)) {
            if (length + 1 > HELPER_FRAME_MAX) fuzzsupport::fail("a frame over the cap");
            out.push_back(std::string(1, static_cast<char>(kind)) + std::string(fields, length));
        }
    }
    *bad = inbox.bad();
    return out;
}

// Parses one message as the dialog's clients do.
void parse(const std::string& message) {
    HelperReader in(message.data() + 1, message.size() - 1);
    switch (static_cast<uint8_t>(message[0])) {
    case SCAN_MSG_IMAGES: {
        std::vector<ScanImage> images;
        if (!scanReadImages(in, &images)) return;
        std::vector<ScanImage> back;
        for (const std::string& frame : scanImageFrames(images)) {
            HelperReader again(frame.data() + 5, frame.size() - 5);
            if (frame.size() - 4 > HELPER_FRAME_MAX || !scanReadImages(again, &back))
                fuzzsupport::fail("framed images do not read back");
        }
        if (back.size() != images.size()) fuzzsupport::fail("images lost on the way");
        for (size_t i = 0; i < back.size(); i++)
            if (back[i].path != images[i].path || back[i].name != images[i].name)
                fuzzsupport::fail("an image changed on the way");
        break;
    }
    case SCAN_MSG_KEEP: {
        // The scan helper reads this one: IDs that parse frame again and read back the same.
        uint32_t seq = 0, seqBack = 0;
        KeptIdChanges changes, back;
        if (!scanReadKeep(in, &seq, &changes)) return;
        std::vector<ScanKeptId> ids;
        for (const auto& [image, kept] : changes)
            ids.push_back({image, kept.value_or(KeptId()), !kept});
        for (size_t next = 0; next < ids.size();) {
            std::string frame = scanKeepFrame(seq, ids, next, &next);
            HelperReader again(frame.data() + 5, frame.size() - 5);
            if (frame.size() - 4 > HELPER_FRAME_MAX || !scanReadKeep(again, &seqBack, &back) ||
                seqBack != seq)
                fuzzsupport::fail("framed IDs do not read back");
        }
        if (back != changes) fuzzsupport::fail("IDs changed on the way");
        return;
    }
    case SCAN_MSG_UNREADABLE:
        in.i32();
        in.str();
        break;
    case MD5_MSG_DIGEST: {
        in.i32();
        unsigned char digest[16];
        in.bytes(digest, sizeof digest);
        break;
    }
    default:
        // The others are fixed numbers only.
        in.i64();
        in.i64();
        break;
    }
    in.done();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t piece = data[0] % 16 + 1;
    const char* stream = reinterpret_cast<const char*>(data + 1);
    bool bad = false, badWhole = false;
    std::vector<std::string> got = messages(stream, size - 1, piece, &bad);
    if (got != messages(stream, size - 1, size, &badWhole) || bad != badWhole)
        fuzzsupport::fail("the pieces changed the messages");
    for (const std::string& message : got) parse(message);
    return 0;
}
