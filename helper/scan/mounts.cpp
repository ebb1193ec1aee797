#include "helper/scan/mounts.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace catalogue {

namespace {

bool isOctal(char c) { return c >= '0' && c <= '7'; }

// Decodes "\ooo" escapes; a backslash not followed by a valid one stays.
std::string unescape(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The blank-separated fields of one line.
std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < line.size()) {
        size_t start = line.find_first_not_of(' ', at);
        if (start == std::string::npos) break;
        size_t end = line.find(' ', start);
        if (end == std::string::npos) end = line.size();
        out.push_back(line.substr(start, end - start));
        at = end;
    }
    return out;
}

bool parseId(const std::string& text, int* id) {
    if (text.empty() || text.size() > 9) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    *id = value;
    return true;
}

bool sameMount(const Mount& a, const Mount& b) { return a.id == b.id && a.point == b.point; }

}  // namespace

std::vector<Mount> parseMountInfo(const std::string& text) {
    std::vector<Mount> mounts;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> line = fields(text.substr(start, end - start));
        int id;
        if (line.size() >= 5 && parseId(line[0], &id)) mounts.push_back({id, unescape(line[4])});
        start = end + 1;
    }
    return mounts;
}

MountWatch::MountWatch() {
    fd_ = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0 && !readTable(table)) table.clear();
}

MountWatch::~MountWatch() {
    if (fd_ >= 0) close(fd_);
}

bool MountWatch::readTable(std::vector<Mount>& into) {
    // The whole table from its start: the kernel makes it anew for each read from 0.
    std::string text;
    char buffer[16384];
    for (off_t at = 0;;) {
        ssize_t got = pread(fd_, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
        at += got;
    }
    into = parseMountInfo(text);
    std::sort(into.begin(), into.end(), [](const Mount& a, const Mount& b) {
        return a.id != b.id ? a.id < b.id : a.point < b.point;
    });
    return true;
}

std::vector<std::string> MountWatch::changed() {
    std::vector<std::string> points;
    if (fd_ < 0) return points;
    // The kernel flags a change once: a failed read leaves it pending here.
    struct pollfd watch = {fd_, POLLPRI, 0};
    if (poll(&watch, 1, 0) > 0 && (watch.revents & (POLLPRI | POLLERR))) pending = true;
    std::vector<Mount> now;
    if (!pending || !readTable(now)) return points;
    pending = false;
    // Both tables are sorted by id: one pass finds what is in only one of them.
    auto before = table.begin(), after = now.begin();
    while (before != table.end() || after != now.end()) {
        if (after == now.end() || (before != table.end() && before->id < after->id)) {
            points.push_back((before++)->point);
        } else if (before == table.end() || after->id < before->id) {
            points.push_back((after++)->point);
        } else {
            if (!sameMount(*before, *after)) {
                points.push_back(before->point);
                points.push_back(after->point);
            }
            ++before;
            ++after;
        }
    }
    table.swap(now);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

}  // namespace catalogue
