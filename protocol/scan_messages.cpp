#include "protocol/scan_messages.h"

#include "protocol/gameid_messages.h"

std::vector<std::string> scanImageFrames(const std::vector<ScanImage>& images) {
    std::vector<std::string> frames;
    size_t next = 0;
    while (next < images.size()) {
        // The pairs that fit are counted first, so the count leads the part.
        size_t length = 1 + 4, end = next;
        while (end < images.size()) {
            size_t pair = 8 + images[end].path.size() + images[end].name.size();
            if (length + pair > HELPER_FRAME_MAX && end > next) break;
            length += pair;
            ++end;
        }
        HelperWriter out(SCAN_MSG_IMAGES);
        out.u32(static_cast<uint32_t>(end - next));
        for (; next < end; ++next) out.str(images[next].path).str(images[next].name);
        frames.push_back(out.frame());
    }
    return frames;
}

bool scanSendImages(int fd, const std::vector<ScanImage>& images) {
    for (const std::string& frame : scanImageFrames(images))
        if (!helperSendAll(fd, frame)) return false;
    return true;
}

bool scanReadImages(HelperReader& in, std::vector<ScanImage>* images) {
    uint32_t count = in.u32();
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
        ScanImage image;
        image.path = in.str();
        image.name = in.str();
        if (image.path.size() > SCAN_TEXT_MAX || image.name.size() > SCAN_TEXT_MAX) return false;
        if (in.ok()) images->push_back(std::move(image));
    }
    return in.done();
}

std::string scanKeepFrame(uint32_t seq, const std::vector<ScanKeptId>& ids, size_t first,
                          size_t* next) {
    // An entry's fields: two lengths, the texts, the flag and six stamps.
    auto entrySize = [&](size_t i) { return 9 + ids[i].image.size() + ids[i].kept.id.size() + 48; };
    size_t length = 1 + 4 + 4, end = first;
    while (end < ids.size() && (end == first || length + entrySize(end) <= HELPER_FRAME_MAX))
        length += entrySize(end++);
    HelperWriter out(SCAN_MSG_KEEP);
    out.u32(seq).u32(static_cast<uint32_t>(end - first));
    for (size_t i = first; i < end; ++i) {
        out.str(ids[i].image).u8(ids[i].forget ? 1 : 0).str(ids[i].kept.id);
        gameidWriteStamps(out, ids[i].kept.files);
    }
    *next = end;
    return out.frame();
}

bool scanReadKeep(HelperReader& in, uint32_t* seq, KeptIdChanges* ids) {
    *seq = in.u32();
    uint32_t count = in.u32();
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
        std::string image = in.str();
        uint8_t forget = in.u8();
        KeptId kept;
        kept.id = in.str();
        kept.files = gameidReadStamps(in);
        if (image.size() > SCAN_TEXT_MAX || forget > 1 || !keptlistIdSound(kept.id)) return false;
        // Later entries of an image win, as they were sent later.
        if (in.ok()) (*ids)[image] = forget ? std::nullopt : std::optional<KeptId>(std::move(kept));
    }
    return in.done();
}
