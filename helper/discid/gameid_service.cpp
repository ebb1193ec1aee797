// The ID helper's side of protocol/gameid_messages.h: one disc at a time.
#include "helper/discid/gameid_service.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "helper/discid/gameid_confine.h"
#include "helper/discid/gameid_reader.h"
#include "protocol/gameid_messages.h"

void (*gameidServeBeforeRead)(const std::string& disc) = nullptr;

namespace {

struct Request {
    uint8_t how = GAMEID_HOW_IMAGE;
    std::string disc;
    GameIdFiles kept;
};

bool parse(const std::string& fields, Request* request) {
    HelperReader in(fields.data(), fields.size());
    request->how = in.u8();
    request->disc = in.str();
    request->kept = gameidReadStamps(in);
    return in.done() && request->how <= GAMEID_HOW_DISC && !request->disc.empty() &&
           request->disc.size() <= GAMEID_TEXT_MAX;
}

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
int answer(const Request& request, std::string* id, GameIdFiles* files) {
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

void gameidServe(int fd) {
    gameidPrepareReader();
    // Nothing the reader reads can reach more than the filter allows; it ends
    // here if the filter cannot be installed.
    if (kGameidConfined && !gameidConfine(fd)) return;
    for (;;) {
        HelperMessage kind;
        std::string fields;
        int home = -1;
        if (!helperReceive(fd, &kind, &fields, &home)) return;
        Request request;
        bool sound = kind == GAMEID_MSG_READ && parse(fields, &request);
        // Relative names are the dialog's folder's.
        bool entered = sound && home >= 0 && fchdir(home) == 0;
        if (home >= 0) close(home);
        if (!sound) return;
        std::string id;
        GameIdFiles files;
        int result = entered ? answer(request, &id, &files) : GAMEID_UNREADABLE;
        if (id.size() > GAMEID_ID_MAX) result = GAMEID_NONE, id.clear();
        HelperWriter out(GAMEID_MSG_ID);
        out.i32(result).str(id);
        gameidWriteStamps(out, files);
        if (!helperSendAll(fd, out.frame())) return;
    }
}
