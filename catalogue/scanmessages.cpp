#include "catalogue/scanmessages.h"

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
