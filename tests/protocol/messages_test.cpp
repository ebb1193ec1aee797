// The wire: the inbox cuts frames within the cap, and every message kind
// round-trips through its one encoder and decoder, which refuse a message cut
// short or with a field over its limit.
#include "protocol/messages.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

std::string frame(uint32_t length, const std::string& rest) {
    return std::string(reinterpret_cast<const char*>(&length), 4) + rest;
}

TEST(HelperFrames, TheInboxTakesFramesWithinTheCapAndStopsAtABadOne) {
    const std::string good = HelperWriter(7).u32(42).frame();
    const std::string largest = frame(HELPER_FRAME_MAX, std::string(HELPER_FRAME_MAX, 'x'));
    struct Case {
        const char* what;
        std::string bytes;
        int messages;
        bool bad;
    } cases[] = {
        {"two frames", good + good, 2, false},
        {"a frame cut short", good + good.substr(0, 6), 1, false},
        {"the largest frame", largest + good, 2, false},
        {"length zero", good + frame(0, "") + good, 1, true},
        {"over the cap", frame(HELPER_FRAME_MAX + 1, "x") + good, 0, true},
        {"the largest length", frame(0xffffffffu, "x"), 0, true},
    };
    for (const Case& c : cases) {
        // Whole, and one byte at a time.
        for (size_t piece : {c.bytes.size(), size_t(1)}) {
            if (piece == 1 && c.bytes.size() > 100000) continue;  // whole is enough there
            HelperInbox inbox;
            int messages = 0;
            HelperMessage kind;
            const char* data;
            size_t size;
            for (size_t at = 0; at < c.bytes.size(); at += piece) {
                inbox.take(c.bytes.data() + at, std::min(piece, c.bytes.size() - at));
                while (inbox.next(&kind, &data, &size)) messages++;
            }
            EXPECT_EQ(messages, c.messages) << c.what << " in pieces of " << piece;
            EXPECT_EQ(inbox.bad(), c.bad) << c.what;
        }
    }
    // Nothing over the cap is sent either.
    EXPECT_FALSE(
        helperSendAll(-1, frame(HELPER_FRAME_MAX + 1, std::string(HELPER_FRAME_MAX + 1, 'x'))));
}

// A decoded message framed again, its frames joined.
std::string framed(const ScanImages& message) {
    std::string all;
    for (const std::string& part : encode(message)) all += part;
    return all;
}
std::string framed(const ScanKeep& message) {
    size_t next = 0;
    return encode(message, 0, &next);
}
template <typename Message>
std::string framed(const Message& message) {
    return encode(message);
}

// Decodes a frame as its kind's end does; the message framed again, or "" when refused.
std::string again(const std::string& frame) {
    HelperReader in(frame.data() + 5, frame.size() - 5);
    std::string back;
    bool ok = messageVisit(static_cast<uint8_t>(frame[4]), in,
                           [&](const auto& message) { back = framed(message); });
    return ok ? back : "";
}

std::string patched(std::string frame, size_t at, char value) {
    frame[at] = value;
    return frame;
}

TEST(HelperMessages, EveryKindReadsBackAsSentAndRefusesWhatIsOverItsLimitsOrCutShort) {
    const std::string text(HELPER_TEXT_MAX, 't'), tooLong(HELPER_TEXT_MAX + 1, 'x');
    const GameIdFiles stamps{1, {2, 3}, 4, {5, 6}};
    const ScanKeptId kept{text, {"SLUS-00001", stamps}, false}, forget{"/b.cue", {}, true};
    size_t next;
    const std::string keep = encode(ScanKeep{7, {kept, forget}}, 0, &next);
    const std::string scan = encode(ScanRequest{7, true, {text, ""}});
    const struct {
        std::string good;
        std::vector<std::string> bad;
    } cases[] = {
        {scan, {encode(ScanRequest{7, false, {"a", tooLong}}), patched(scan, 9, 2)}},
        {encode(ScanFound{42}), {}},
        {encode(ScanUnreadable{EACCES, text}), {encode(ScanUnreadable{EACCES, tooLong})}},
        {encode(ScanImages{{{text, text}, {"/a/", "b.cue"}}})[0],
         {encode(ScanImages{{{"/a/", tooLong}}})[0], encode(ScanImages{{{tooLong, "b"}}})[0]}},
        {encode(ScanDone{7, 2}), {}},
        {encode(ScanFailed{7, ENOENT}), {}},
        {keep,
         {encode(ScanKeep{7, {{tooLong, {}, true}}}, 0, &next),
          encode(ScanKeep{7, {{"/a.cue", {"SLUS-0001", {}}, false}}}, 0, &next),
          patched(keep, 4 + 1 + 8 + 4 + HELPER_TEXT_MAX, 2)}},
        {encode(ScanKept{7}), {}},
        {encode(HashRequest{text}), {encode(HashRequest{tooLong})}},
        {encode(HashProgress{1 << 20, -1}), {}},
        {encode(HashDigest{0, {1, 2, 3, 255}}), {}},
        {encode(GameIdRequest{GAMEID_HOW_CHECK, text, stamps}),
         {encode(GameIdRequest{GAMEID_HOW_DISC + 1, "a.cue", {}}),
          encode(GameIdRequest{GAMEID_HOW_IMAGE, "", {}}),
          encode(GameIdRequest{GAMEID_HOW_IMAGE, tooLong, {}})}},
        {encode(GameIdAnswer{GAMEID_UNCHANGED, "SLUS-00001", stamps}),
         {encode(GameIdAnswer{GAMEID_NO_DRIVE + 1, "", {}}),
          encode(GameIdAnswer{GAMEID_UNCHANGED - 1, "", {}}),
          encode(GameIdAnswer{GAMEID_FOUND, "SLUS_00001", {}})}},
    };
    std::set<uint8_t> kinds;
    for (const auto& c : cases) {
        uint8_t kind = static_cast<uint8_t>(c.good[4]);
        kinds.insert(kind);
        EXPECT_TRUE(again(c.good) == c.good) << "kind " << int(kind);
        for (size_t cut = 5; cut < c.good.size(); cut++)
            ASSERT_TRUE(again(c.good.substr(0, cut)).empty())
                << "kind " << int(kind) << " cut at " << cut;
        EXPECT_TRUE(again(c.good + "x").empty())
            << "kind " << int(kind) << " with a byte left over";
        for (const std::string& bad : c.bad)
            EXPECT_TRUE(again(bad).empty()) << "kind " << int(kind);
    }
    EXPECT_EQ(kinds.size(), std::size(cases));  // one row per kind
    for (int kind = 0; kind < 256; kind++) {
        if (kinds.count(static_cast<uint8_t>(kind))) continue;
        EXPECT_EQ(again(HelperWriter(static_cast<uint8_t>(kind)).u32(7).frame()), "") << kind;
    }
}

// An answer of any length comes in parts within the frame cap, and reads back whole.
TEST(HelperMessages, LongAnswersComeInPartsWithinTheCapAndReadBackWhole) {
    ScanImages images, back;
    for (int i = 0; i < 3000; i++)
        images.images.push_back({"/games/" + std::string(1000, 'p') + "/", std::to_string(i)});
    const std::vector<std::string> frames = encode(images);
    EXPECT_GE(frames.size(), 3u);
    for (const std::string& frame : frames) {
        ASSERT_LE(frame.size() - 4, HELPER_FRAME_MAX);
        ScanImages part;
        HelperReader in(frame.data() + 5, frame.size() - 5);
        ASSERT_TRUE(decode(in, &part));
        back.images.insert(back.images.end(), part.images.begin(), part.images.end());
    }
    EXPECT_EQ(framed(back), framed(images));
    EXPECT_TRUE(encode(ScanImages()).empty());
}

}  // namespace
