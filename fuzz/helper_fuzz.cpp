// What the dialog reads from a helper, on any bytes: the first byte sets the
// size of the pieces the stream arrives in, the rest is the stream. The inbox
// never hands out a frame outside the cap, stops for good at a bad one, and
// the same stream gives the same messages whatever the pieces. Every message
// is decoded by its kind's decoder, and one that decodes must encode back to
// the same bytes, in one frame.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzzsupport.h"
#include "protocol/messages.h"

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

// The frames a decoded message encodes to, joined.
std::string framed(const ScanImages& message) {
    std::string all;
    for (const std::string& frame : encode(message)) all += frame;
    return all;
}
std::string framed(const ScanKeep& message) {
    std::string all;
    for (size_t next = 0; next < message.ids.size() || all.empty();)
        all += encode(message, next, &next);
    return all;
}
template <typename Message>
std::string framed(const Message& message) {
    return encode(message);
}

// Decodes one message with its kind's decoder, as either end does: one that
// decodes encodes to the same bytes, so both ends read every field alike.
void parse(const std::string& message) {
    HelperReader in(message.data() + 1, message.size() - 1);
    messageVisit(static_cast<uint8_t>(message[0]), in, [&](const auto& decoded) {
        std::string again = framed(decoded);
        // No images are sent as no IMAGES at all.
        if (again.empty() && message == std::string(1, SCAN_MSG_IMAGES) + std::string(4, '\0'))
            return;
        if (again.size() < 4 || again.substr(4) != message)
            fuzzsupport::fail("a message does not encode back to its bytes");
    });
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
