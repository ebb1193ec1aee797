// The ID helper's service: one disc at a time.
#include "helper/discid/gameid_service.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "helper/discid/gameid_confine.h"
#include "helper/discid/gameid_reader.h"
#include "protocol/messages.h"

void (*gameidServeBeforeRead)(const std::string& disc) = nullptr;

namespace {

// The stamps of the image's files as they are now, found without reading
// image data: the sheet's status, and the data file's when the sheet names one.
bool stampsNow(const std::string& sheet, GameIdFiles* files) {
    struct stat st;
    if (stat(sheet.c_str(), &st) != 0) return false;
    files->sheetSize = st.st_size;
    files->sheetTime = st.st_mtim;
    SheetTrack track;
    if (!gameidTrackOf(sheet, &track) || stat(track.file.c_str(), &st) != 0) return false;
    files->dataSize = st.st_size;
    files->dataTime = st.st_mtim;
    return true;
}

// Reads the disc as asked; a check whose stamps hold reads nothing.
int answer(const GameIdRequest& request, std::string* id, GameIdFiles* files) {
    if (request.how == GAMEID_HOW_CHECK) {
        // The sheet's stamps first: a changed sheet is read again without more calls.
        struct stat st;
        if (stat(request.disc.c_str(), &st) == 0 && st.st_size == request.kept.sheetSize &&
            st.st_mtim.tv_sec == request.kept.sheetTime.tv_sec &&
            st.st_mtim.tv_nsec == request.kept.sheetTime.tv_nsec &&
            stampsNow(request.disc, files) && gameidSameStamps(*files, request.kept))
            return GAMEID_UNCHANGED;
        *files = GameIdFiles();
    }
    if (gameidServeBeforeRead) gameidServeBeforeRead(request.disc);
    // A block device named as a disc (a loop device) is read as a device.
    struct stat st;
    if (request.how == GAMEID_HOW_DEVICE ||
        (request.how == GAMEID_HOW_DISC && stat(request.disc.c_str(), &st) == 0 &&
         S_ISBLK(st.st_mode)))
        return gameidReadDevice(request.disc, id);
    return gameidReadImage(request.disc, id, files);
}

}  // namespace

bool gameidServiceStart(int fd) {
    gameidPrepareReader();
    // Nothing the reader reads can reach more than the filter allows; the
    // helper ends if the filter cannot be installed.
    return !kGameidConfined || gameidConfine(fd);
}

bool gameidServiceHandle(int fd, HelperMessage kind, HelperReader& in, int entered) {
    GameIdRequest request;
    if (kind != GameIdRequest::KIND || !decode(in, &request)) return false;
    GameIdAnswer out;
    out.result = entered == 0 ? answer(request, &out.id, &out.files) : GAMEID_UNREADABLE;
    if (out.id.size() > GAMEID_ID_MAX) out.result = GAMEID_NONE, out.id.clear();
    return helperSendAll(fd, encode(out));
}
