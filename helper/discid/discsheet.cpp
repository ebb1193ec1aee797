#include "helper/discid/discsheet.h"

#include <strings.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace {

// The words of one line: blank-separated, a "..." word is taken whole without
// its quotes. A toc's // starts a comment.
std::vector<std::string> words(const char* line, size_t length, bool slashComments) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < length) {
        unsigned char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            i++;
        } else if (slashComments && c == '/' && i + 1 < length && line[i + 1] == '/') {
            break;
        } else if (c == '"') {
            size_t end = i + 1;
            while (end < length && line[end] != '"') end++;
            out.emplace_back(line + i + 1, end - i - 1);
            i = end + 1;
        } else {
            size_t end = i;
            while (end < length && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
                end++;
            out.emplace_back(line + i, end - i);
            i = end;
        }
    }
    return out;
}

// Calls each(words, line, length) for every line of text; stops when it returns true.
template <typename Each>
bool eachLine(const char* text, size_t size, bool slashComments, Each each) {
    // A UTF-8 byte order mark, as some sheet writers put first.
    if (size >= 3 && (unsigned char)text[0] == 0xEF && (unsigned char)text[1] == 0xBB &&
        (unsigned char)text[2] == 0xBF) {
        text += 3;
        size -= 3;
    }
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && text[end] != '\n') end++;
        if (each(words(text + start, end - start, slashComments), text + start, end - start))
            return true;
        start = end + 1;
    }
    return false;
}

bool same(const std::string& word, const char* keyword) {
    return strcasecmp(word.c_str(), keyword) == 0 && word.size() == strlen(keyword);
}

// mm:ss:ff as frames (75 a second); -1 when the word is not of that form or
// its numbers are out of range (seconds and frames as on a disc, minutes up
// to 999).
long long msfFrames(const std::string& word) {
    long long part[3] = {0, 0, 0};
    int index = 0;
    size_t digits = 0;
    for (char c : word) {
        if (c == ':') {
            if (digits == 0 || ++index > 2) return -1;
            digits = 0;
        } else if (isdigit((unsigned char)c) && digits < 3) {
            part[index] = part[index] * 10 + (c - '0');
            digits++;
        } else {
            return -1;
        }
    }
    if (index != 2 || digits == 0 || part[1] >= 60 || part[2] >= 75) return -1;
    return (part[0] * 60 + part[1]) * 75 + part[2];
}

// The sector size of a cue track mode with data (MODE1/2048, CDI/2352, ...); 0
// for audio and anything else.
int cueDataSectorSize(const std::string& mode) {
    static const struct {
        const char* name;
        int size;
    } modes[] = {{"MODE1/2048", 2048}, {"MODE1/2352", 2352}, {"MODE2/2048", 2048},
                 {"MODE2/2336", 2336}, {"MODE2/2352", 2352}, {"CDI/2336", 2336},
                 {"CDI/2352", 2352}};
    for (const auto& m : modes)
        if (same(mode, m.name)) return m.size;
    return 0;
}

// The sector size of a toc track mode with data; 0 for audio and anything else.
int tocDataSectorSize(const std::string& mode) {
    static const struct {
        const char* name;
        int size;
    } modes[] = {{"MODE1", 2048},       {"MODE1_RAW", 2352},      {"MODE2", 2336},
                 {"MODE2_FORM1", 2048}, {"MODE2_FORM_MIX", 2336}, {"MODE2_RAW", 2352}};
    for (const auto& m : modes)
        if (same(mode, m.name)) return m.size;
    return 0;
}

// A toc's byte offset word "#123"; -1 when it is not one.
long long tocOffset(const std::string& word) {
    if (word.size() < 2 || word.size() > 13 || word[0] != '#') return -1;
    long long value = 0;
    for (size_t i = 1; i < word.size(); i++) {
        if (!isdigit((unsigned char)word[i])) return -1;
        value = value * 10 + (word[i] - '0');
    }
    return value;
}

// The name of a cue FILE line written without quotes around a name with
// blanks: everything between FILE and the last word (the file's type).
std::string unquotedName(const char* line, size_t length) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    size_t start = 0;
    while (start < length && blank(line[start])) start++;
    start = start + 4 < length ? start + 4 : length;  // FILE
    while (start < length && blank(line[start])) start++;
    size_t end = length;
    while (end > start && blank(line[end - 1])) end--;
    while (end > start && !blank(line[end - 1])) end--;
    while (end > start && blank(line[end - 1])) end--;
    return std::string(line + start, end - start);
}

}  // namespace

bool sheetCueDataTrack(const char* text, size_t size, SheetTrack* track) {
    std::string file;
    int sectorSize = 0;  // of the current track, 0 while it is not a data track
    return eachLine(
        text, size, false, [&](const std::vector<std::string>& w, const char* line, size_t length) {
            if (w.size() >= 2 && same(w[0], "FILE")) {
                file = w.size() > 3 ? unquotedName(line, length) : w[1];
                sectorSize = 0;
            } else if (w.size() >= 3 && same(w[0], "TRACK")) {
                sectorSize = cueDataSectorSize(w[2]);
            } else if (w.size() >= 3 && same(w[0], "INDEX") && sectorSize != 0 && !file.empty()) {
                long long frames = msfFrames(w[2]);
                if (w[1] != "01" && w[1] != "1") return false;
                if (frames < 0) return false;
                track->file = file;
                track->offset = frames * sectorSize;
                track->sectorSize = sectorSize;
                return true;
            }
            return false;
        });
}

bool sheetTocDataTrack(const char* text, size_t size, SheetTrack* track) {
    SheetTrack found;
    int sectorSize = 0;  // of the current track, 0 while it is not a data track
    bool haveFile = false;
    bool done =
        eachLine(text, size, true, [&](const std::vector<std::string>& w, const char*, size_t) {
            for (size_t i = 0; i < w.size(); i++) {
                if (same(w[i], "TRACK") && i + 1 < w.size()) {
                    if (haveFile) return true;
                    sectorSize = tocDataSectorSize(w[i + 1]);
                    // Raw sectors with their 96 subchannel bytes after each one.
                    if (sectorSize != 0 && i + 2 < w.size() &&
                        (same(w[i + 2], "RW_RAW") || same(w[i + 2], "RW")))
                        sectorSize += 96;
                    found = SheetTrack();
                    found.sectorSize = sectorSize;
                    i++;
                } else if (same(w[i], "DATAFILE") && i + 1 < w.size() && sectorSize != 0 &&
                           !haveFile) {
                    found.file = w[i + 1];
                    long long offset = i + 2 < w.size() ? tocOffset(w[i + 2]) : -1;
                    if (offset >= 0) found.offset += offset;
                    haveFile = true;
                    i++;
                } else if (same(w[i], "START") && i + 1 < w.size() && haveFile) {
                    long long frames = msfFrames(w[i + 1]);
                    if (frames > 0) found.offset += frames * sectorSize;
                }
            }
            return false;
        });
    if (!done && !haveFile) return false;
    *track = found;
    return true;
}
