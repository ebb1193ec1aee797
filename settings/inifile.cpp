#include "settings/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/wholefile.h"

namespace {

bool isBlank(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

void strip(std::string* s) {
    size_t end = s->size();
    while (end > 0 && isBlank((*s)[end - 1])) end--;
    size_t start = 0;
    while (start < end && isBlank((*s)[start])) start++;
    *s = s->substr(start, end - start);
}

void lowerCase(std::string* s) {
    for (char& c : *s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
}

// The value part of a key line, after the '='.
std::string parseValue(const std::string& rest) {
    size_t start = 0;
    while (start < rest.size() && isBlank(rest[start])) start++;
    if (start < rest.size() && (rest[start] == '"' || rest[start] == '\'')) {
        size_t close = rest.find(rest[start], start + 1);
        if (close == std::string::npos) close = rest.size();
        return rest.substr(start + 1, close - start - 1);
    }
    std::string value = rest.substr(start, rest.find_first_of(";#", start) - start);
    strip(&value);
    return value;
}

void parseLine(dictionary* dict, std::string line, std::string* section) {
    // A line ends at a NUL byte, as it does for a C reader such as the plug-in's.
    line.resize(std::min(line.size(), line.find('\0')));
    strip(&line);
    if (line.empty() || line[0] == '#' || line[0] == ';') return;
    if (line[0] == '[' && line.back() == ']') {
        std::string name = line.substr(1, line.find(']') - 1);
        strip(&name);
        lowerCase(&name);
        if (name.empty()) return;
        *section = name;
        dictionary_set(dict, section->c_str(), nullptr);
        return;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos) return;
    std::string key = line.substr(0, equals);
    strip(&key);
    lowerCase(&key);
    if (key.empty()) return;
    std::string value = parseValue(line.substr(equals + 1));
    if (value.empty()) return;
    dictionary_set(dict, (*section + ":" + key).c_str(), value.c_str());
}

// Follows a chain of symbolic links to the path it finally names; a path that
// is not a link comes back unchanged. False on a loop or an unreadable link.
bool resolveLinks(std::string* path) {
    for (int hops = 0; hops < 40; hops++) {
        struct stat st;
        if (lstat(path->c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        ssize_t n = readlink(path->c_str(), target.data(), target.size());
        if (n < 0 || static_cast<size_t>(n) >= target.size()) return false;
        target.resize(static_cast<size_t>(n));
        if (target.empty()) return false;
        if (target[0] != '/') {
            size_t slash = path->rfind('/');
            if (slash != std::string::npos) target = path->substr(0, slash + 1) + target;
        }
        *path = target;
    }
    return false;
}

}  // namespace

dictionary* iniLoad(const char* path) {
    FILE* file = fopen(path, "r");
    if (!file) return nullptr;
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
        fclose(file);
        return nullptr;
    }
    dictionary* dict = dictionary_new(0);
    if (!dict) {
        fclose(file);
        return nullptr;
    }
    std::string text;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    fclose(file);
    // A byte-order mark left by a text editor does not belong to the first key.
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    // LF, CR LF and a lone CR all end a line, so no value holds a line break
    // and everything read can be written back.
    std::string section;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        parseLine(dict, text.substr(start, end - start), &section);
        start = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') start++;
    }
    return dict;
}

bool iniEncodeValue(const char* value, std::string* written) {
    size_t length = strlen(value);
    if (strpbrk(value, "\r\n")) return false;
    bool quote =
        length > 0 && (strpbrk(value, ";#") || isBlank(value[0]) || isBlank(value[length - 1]) ||
                       value[0] == '"' || value[0] == '\'' || value[length - 1] == '\\');
    if (!quote) {
        *written = value;
        return true;
    }
    char mark = strchr(value, '"') ? '\'' : '"';
    if (strchr(value, mark)) return false;
    *written = std::string(1, mark) + value + mark;
    return true;
}

void iniMakeWritable(std::string* text) {
    std::string written;
    while (!text->empty() && (isBlank(text->back()) || text->back() == '\\') &&
           !iniEncodeValue(text->c_str(), &written))
        text->pop_back();
}

std::string iniFormat(const dictionary* dict) {
    std::string text;
    for (ssize_t i = 0; i < dict->size; i++) {
        const char* key = dict->key[i];
        if (!key) continue;
        const char* colon = strchr(key, ':');
        if (!colon) {
            text += "\n[";
            text += key;
            text += "]\n";
            continue;
        }
        std::string name = colon + 1;
        if (name.size() < 30) name.resize(30, ' ');
        text += name;
        text += " = ";
        if (dict->val[i]) text += dict->val[i];
        text += '\n';
    }
    text += '\n';
    return text;
}

int iniReplaceFile(const char* path, const std::string& bytes) {
    std::string target = path;
    if (!resolveLinks(&target)) {
        errno = ELOOP;
        return -1;
    }

    struct stat old;
    bool exists = stat(target.c_str(), &old) == 0;
    // Only a regular file is replaced; a device or folder under that name is left alone.
    if (exists && !S_ISREG(old.st_mode)) {
        errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    // A file the user has write-protected is kept as it is, as an editor
    // would, although the folder would allow replacing it.
    if (exists && access(target.c_str(), W_OK) != 0) return -1;
    mode_t mode;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }

    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = folder + (folder.back() == '/' ? "" : "/") + "." + base + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) return -1;

    return wholefileCommit(fd, temporary, target, bytes, static_cast<int>(mode));
}
