#include "helper/discid/gameid_boot.h"

#include <strings.h>

namespace {

// The ID's shape once the name is cut out: 4 letters, '_' or '-', 5 digits
// (ASCII whatever the locale).
std::string idOfName(const std::string& name) {
    std::string kept;
    for (char c : name)
        if (c != '.') kept += c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    if (kept.size() != 10 || (kept[4] != '_' && kept[4] != '-')) return "";
    for (int i = 0; i < 10; i++) {
        char c = kept[i];
        if (i < 4 ? !(c >= 'A' && c <= 'Z') : i > 4 && !(c >= '0' && c <= '9')) return "";
    }
    return kept.substr(0, 4) + "-" + kept.substr(5);
}

// The ID a BOOT line's value names: its first word, after the last '\' or
// ':', up to ';'.
std::string idOfBootValue(const char* value, size_t length) {
    size_t end = 0;
    while (end < length && value[end] != ' ' && value[end] != '\t' && value[end] != '\r') end++;
    size_t start = end;
    while (start > 0 && value[start - 1] != '\\' && value[start - 1] != ':') start--;
    size_t stop = start;
    while (stop < end && value[stop] != ';') stop++;
    return idOfName(std::string(value + start, stop - start));
}

}  // namespace

std::string gameidFromSystemCnf(const char* text, size_t size) {
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && text[end] != '\n') end++;
        size_t i = start;
        while (i < end && (text[i] == ' ' || text[i] == '\t')) i++;
        size_t key = i;
        while (i < end && text[i] != ' ' && text[i] != '\t' && text[i] != '=') i++;
        if (i - key == 4 && strncasecmp(text + key, "BOOT", 4) == 0) {
            while (i < end && (text[i] == ' ' || text[i] == '\t')) i++;
            if (i < end && text[i] == '=') {
                i++;
                while (i < end && (text[i] == ' ' || text[i] == '\t')) i++;
                size_t stop = end;
                if (stop > i && text[stop - 1] == '\r') stop--;
                return idOfBootValue(text + i, stop - i);
            }
        }
        start = end + 1;
    }
    return "";
}
