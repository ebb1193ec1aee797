#include "helper/discid/gameid_tracks.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "disc/datafile.h"
#include "helper/discid/gameid_isofs.h"
#include "util/path.h"

namespace {

const size_t kSheetLimit = 1024 * 1024;  // a sheet larger than this is not one

// name in folder, or the one name there that equals it ignoring case; "" when neither.
std::string findIgnoringCase(const std::string& folder, const std::string& name) {
    std::string exact = folder + name;
    if (access(exact.c_str(), F_OK) == 0) return exact;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return "";
    std::string found;
    while (dirent* entry = readdir(dir))
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = folder + entry->d_name;
            break;
        }
    closedir(dir);
    return found;
}

// The bytes of a small file; false when it cannot be read or is larger than limit.
bool readSmallFile(const std::string& path, size_t limit, std::string* bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) <= limit;
    if (ok) {
        bytes->resize(st.st_size);
        long long got = readAt(fd, bytes->data(), bytes->size(), 0);
        ok = got >= 0;
        bytes->resize(ok ? got : 0);
    }
    close(fd);
    return ok;
}

}  // namespace

bool gameidTrackOf(const std::string& sheetPath, SheetTrack* track) {
    std::string folder = sheetPath.substr(0, sheetPath.rfind('/') + 1);
    const char* path = sheetPath.c_str();
    SheetTrack found;
    found.sectorSize = kBlock;
    bool cue = checkExtension(path, ".cue"), toc = checkExtension(path, ".toc");
    if (cue || toc) {
        std::string text;
        if (!readSmallFile(sheetPath, kSheetLimit, &text)) return false;
        if (!(cue ? sheetCueDataTrack : sheetTocDataTrack)(text.data(), text.size(), &found))
            return false;
        // Sheets written on other systems separate folders with '\'.
        for (char& c : found.file)
            if (c == '\\') c = '/';
        if (found.file.empty()) return false;
        if (found.file[0] == '/') {
            if (access(found.file.c_str(), F_OK) == 0) {
                *track = found;
                return true;
            }
        } else {
            std::string inFolder = findIgnoringCase(folder, found.file);
            if (!inFolder.empty()) {
                found.file = inFolder;
                *track = found;
                return true;
            }
        }
        // A name from another machine: its last part, in the sheet's folder.
        found.file = findIgnoringCase(folder, found.file.substr(found.file.rfind('/') + 1));
    } else {
        // The data file beside the sheet, as Calc md5 finds it (any other name stays).
        std::vector<char> data(sheetPath.begin(), sheetPath.end());
        data.resize(data.size() + 8, '\0');
        discDataFile(data.data());
        found.file = findIgnoringCase(folder, std::string(data.data()).substr(folder.size()));
    }
    if (found.file.empty()) return false;
    *track = found;
    return true;
}
