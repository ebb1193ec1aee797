#include "helper/discid/gameid_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "helper/discid/gameid_isofs.h"
#include "util/path.h"

namespace {

// A file's size and modification time.
void noteFile(const std::string& path, long long* size, timespec* time) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    *size = st.st_size;
    *time = st.st_mtim;
}

}  // namespace

GameIdResult gameidReadImage(const std::string& sheetPath, std::string* id, GameIdFiles* files) {
    id->clear();
    GameIdFiles noted;
    noteFile(sheetPath, &noted.sheetSize, &noted.sheetTime);
    if (files) *files = noted;
    if (checkExtension(sheetPath.c_str(), ".exe"))
        return access(sheetPath.c_str(), R_OK) == 0 ? GAMEID_NONE : GAMEID_UNREADABLE;
    SheetTrack track;
    if (!gameidTrackOf(sheetPath, &track)) return GAMEID_UNREADABLE;
    int fd = open(track.file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return GAMEID_UNREADABLE;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return GAMEID_UNREADABLE;
    }
    noted.dataSize = st.st_size;
    noted.dataTime = st.st_mtim;
    if (files) *files = noted;
    GameIdResult result = readTrack(fd, track.file, track, id);
    close(fd);
    return result;
}
