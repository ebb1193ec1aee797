#include "protocol/messages.h"

namespace {

void writeStamps(HelperWriter& out, const GameIdFiles& files) {
    out.i64(files.sheetSize).i64(files.sheetTime.tv_sec).i64(files.sheetTime.tv_nsec);
    out.i64(files.dataSize).i64(files.dataTime.tv_sec).i64(files.dataTime.tv_nsec);
}

GameIdFiles readStamps(HelperReader& in) {
    GameIdFiles files;
    files.sheetSize = in.i64();
    files.sheetTime.tv_sec = static_cast<time_t>(in.i64());
    files.sheetTime.tv_nsec = static_cast<long>(in.i64());
    files.dataSize = in.i64();
    files.dataTime.tv_sec = static_cast<time_t>(in.i64());
    files.dataTime.tv_nsec = static_cast<long>(in.i64());
    return files;
}

// A text within HELPER_TEXT_MAX; false (the message bad) otherwise.
bool text(HelperReader& in, std::string* out) {
    *out = in.str();
    return in.ok() && out->size() <= HELPER_TEXT_MAX;
}

// A flag, 0 or 1.
bool flag(HelperReader& in, bool* out) {
    uint8_t value = in.u8();
    *out = value != 0;
    return in.ok() && value <= 1;
}

}  // namespace

std::string encode(const ScanRequest& message) {
    HelperWriter out(ScanRequest::KIND);
    out.u32(message.seq).u8(message.rereadAll ? 1 : 0);
    out.u32(static_cast<uint32_t>(message.folders.size()));
    for (const std::string& folder : message.folders) out.str(folder);
    return out.frame();
}

bool decode(HelperReader& in, ScanRequest* message) {
    message->seq = in.u32();
    if (!flag(in, &message->rereadAll)) return false;
    uint32_t count = in.u32();
    message->folders.clear();
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
        message->folders.emplace_back();
        if (!text(in, &message->folders.back())) return false;
    }
    return in.done();
}

std::string encode(const ScanFound& message) {
    return HelperWriter(ScanFound::KIND).u32(message.images).frame();
}

bool decode(HelperReader& in, ScanFound* message) {
    message->images = in.u32();
    return in.done();
}

std::string encode(const ScanUnreadable& message) {
    return HelperWriter(ScanUnreadable::KIND).i32(message.error).str(message.folder).frame();
}

bool decode(HelperReader& in, ScanUnreadable* message) {
    message->error = in.i32();
    return text(in, &message->folder) && in.done();
}

std::vector<std::string> encode(const ScanImages& message) {
    const std::vector<ScanImage>& images = message.images;
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
        HelperWriter out(ScanImages::KIND);
        out.u32(static_cast<uint32_t>(end - next));
        for (; next < end; ++next) out.str(images[next].path).str(images[next].name);
        frames.push_back(out.frame());
    }
    return frames;
}

bool decode(HelperReader& in, ScanImages* message) {
    uint32_t count = in.u32();
    message->images.clear();
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
        ScanImage image;
        if (!text(in, &image.path) || !text(in, &image.name)) return false;
        message->images.push_back(std::move(image));
    }
    return in.done();
}

std::string encode(const ScanDone& message) {
    return HelperWriter(ScanDone::KIND).u32(message.seq).u32(message.total).frame();
}

bool decode(HelperReader& in, ScanDone* message) {
    message->seq = in.u32();
    message->total = in.u32();
    return in.done();
}

std::string encode(const ScanFailed& message) {
    return HelperWriter(ScanFailed::KIND).u32(message.seq).i32(message.error).frame();
}

bool decode(HelperReader& in, ScanFailed* message) {
    message->seq = in.u32();
    message->error = in.i32();
    return in.done();
}

std::string encode(const ScanKeep& message, size_t first, size_t* next) {
    const std::vector<ScanKeptId>& ids = message.ids;
    // An entry's fields: two lengths, the texts, the flag and six stamps.
    auto entrySize = [&](size_t i) { return 9 + ids[i].image.size() + ids[i].kept.id.size() + 48; };
    size_t length = 1 + 4 + 4, end = first;
    while (end < ids.size() && (end == first || length + entrySize(end) <= HELPER_FRAME_MAX))
        length += entrySize(end++);
    HelperWriter out(ScanKeep::KIND);
    out.u32(message.seq).u32(static_cast<uint32_t>(end - first));
    for (size_t i = first; i < end; ++i) {
        out.str(ids[i].image).u8(ids[i].forget ? 1 : 0).str(ids[i].kept.id);
        writeStamps(out, ids[i].kept.files);
    }
    *next = end;
    return out.frame();
}

bool decode(HelperReader& in, ScanKeep* message) {
    message->seq = in.u32();
    uint32_t count = in.u32();
    message->ids.clear();
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
        ScanKeptId entry;
        if (!text(in, &entry.image) || !flag(in, &entry.forget)) return false;
        entry.kept.id = in.str();
        entry.kept.files = readStamps(in);
        if (!in.ok() || !keptlistIdSound(entry.kept.id)) return false;
        message->ids.push_back(std::move(entry));
    }
    return in.done();
}

std::string encode(const ScanKept& message) {
    return HelperWriter(ScanKept::KIND).u32(message.seq).frame();
}

bool decode(HelperReader& in, ScanKept* message) {
    message->seq = in.u32();
    return in.done();
}

std::string encode(const HashRequest& message) {
    return HelperWriter(HashRequest::KIND).str(message.file).frame();
}

bool decode(HelperReader& in, HashRequest* message) {
    return text(in, &message->file) && in.done();
}

std::string encode(const HashProgress& message) {
    return HelperWriter(HashProgress::KIND).i64(message.done).i64(message.total).frame();
}

bool decode(HelperReader& in, HashProgress* message) {
    message->done = in.i64();
    message->total = in.i64();
    return in.done();
}

std::string encode(const HashDigest& message) {
    HelperWriter out(HashDigest::KIND);
    return out.i32(message.result).bytes(message.digest, sizeof message.digest).frame();
}

bool decode(HelperReader& in, HashDigest* message) {
    message->result = in.i32();
    in.bytes(message->digest, sizeof message->digest);
    return in.done();
}

std::string encode(const GameIdRequest& message) {
    HelperWriter out(GameIdRequest::KIND);
    out.u8(message.how).str(message.disc);
    writeStamps(out, message.kept);
    return out.frame();
}

bool decode(HelperReader& in, GameIdRequest* message) {
    message->how = in.u8();
    if (!text(in, &message->disc)) return false;
    message->kept = readStamps(in);
    return in.done() && message->how <= GAMEID_HOW_DISC && !message->disc.empty();
}

std::string encode(const GameIdAnswer& message) {
    HelperWriter out(GameIdAnswer::KIND);
    out.i32(message.result).str(message.id);
    writeStamps(out, message.files);
    return out.frame();
}

bool decode(HelperReader& in, GameIdAnswer* message) {
    message->result = in.i32();
    message->id = in.str();
    message->files = readStamps(in);
    return in.done() && keptlistIdSound(message->id) && message->result >= GAMEID_UNCHANGED &&
           message->result <= GAMEID_NO_DRIVE;
}
