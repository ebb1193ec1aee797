// Reading disc IDs: ID helpers (catalogue/gameidmessages.h) read the listed
// images side by side, one image at a time each, so that a slow share keeps
// several reads going and an image that hangs holds only its own helper.
// "Get ID" has a helper of its own. IDs read from images go on to the scan
// helper, which keeps them in the kept list with their files' stamps; a kept
// ID is checked by those stamps after a complete list and read again only
// when they differ. Everything runs on the main thread.
#include <glib.h>

#include <deque>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "catalogue/cdscan.h"
#include "catalogue/cdsearch.h"
#include "catalogue/gameidmessages.h"
#include "catalogue/gameids.h"
#include "util/helperclient.h"
#include "util/path.h"

namespace {

// Reads side by side: each mostly waits on the storage, so a share's round
// trips overlap.
constexpr size_t READERS = 8;

struct Reader;
bool handle(HelperMessage kind, HelperReader& in, void* data);
void lost(void* data);

struct Reader {
    HelperClient helper{{HELPER_GAMEID, handle, lost, this}};
    std::string disc;  // the image being read, "" while idle
    bool forList = true;
};

// A read waiting for a helper.
struct Job {
    std::string disc;
    GameIdHow how;
};

std::unique_ptr<Reader> readers[READERS];
Reader* nowReader = nullptr;  // "Get ID"'s
GameidsDone nowDone = nullptr;
void* nowData = nullptr;

std::deque<Job> queue;
std::unordered_map<std::string, GameIdFiles> stamps;  // of the kept IDs, by full path
std::unordered_set<std::string> settled;              // read or checked since the start
std::unordered_set<std::string> bad;                  // their reader died twice: never tried again
std::vector<ScanKeptId> toKeep;                       // IDs for the scan helper, sent once per turn
guint keepSource = 0;

gboolean sendToKeep(gpointer) {
    keepSource = 0;
    cdscanKeepIds(std::move(toKeep));
    toKeep.clear();
    return FALSE;
}

void keep(const std::string& image, const std::string& id, const GameIdFiles& files) {
    stamps[image] = files;
    toKeep.push_back({image, {id, files}});
    if (!keepSource) keepSource = g_idle_add(sendToKeep, nullptr);
}

// Sends the READ; the dialog's folder goes along for relative names.
bool send(Reader& reader, const std::string& disc, GameIdHow how) {
    HelperWriter out(GAMEID_MSG_READ);
    out.u8(how).str(disc);
    auto kept = stamps.find(disc);
    gameidWriteStamps(
        out, how == GAMEID_HOW_CHECK && kept != stamps.end() ? kept->second : GameIdFiles());
    bool sent = reader.helper.requestFromHere(out.frame());
    if (sent) reader.disc = disc;
    return sent;
}

// Gives idle list readers the next jobs.
void startJobs() {
    for (auto& reader : readers) {
        if (queue.empty()) return;
        if (!reader) reader = std::make_unique<Reader>();
        if (!reader->disc.empty()) continue;
        Job job = std::move(queue.front());
        queue.pop_front();
        if (!send(*reader, job.disc, job.how)) bad.insert(job.disc);
    }
}

// A list reader's answer.
void listAnswer(Reader& reader, int result, const std::string& id, const GameIdFiles& files) {
    std::string disc;
    disc.swap(reader.disc);
    settled.insert(disc);
    if (result == GAMEID_FOUND || result == GAMEID_NONE) {
        gameidsTake(disc, result == GAMEID_FOUND ? id : "");
        keep(disc, result == GAMEID_FOUND ? id : "", files);
    }
    startJobs();
}

void nowAnswer(int result, const std::string& id, const std::string& disc,
               const GameIdFiles& files) {
    nowReader->disc.clear();
    GameidsDone done = nowDone;
    nowDone = nullptr;
    // Only an image's read has stamps; a device's ID is for this session only.
    bool image = files.dataTime.tv_sec != 0 || files.dataSize != 0;
    if (result == GAMEID_FOUND) gameidsTake(disc, id);
    if (image && (result == GAMEID_FOUND || result == GAMEID_NONE)) {
        settled.insert(disc);
        keep(disc, result == GAMEID_FOUND ? id : "", files);
    }
    if (done) done(static_cast<GameIdResult>(result), result == GAMEID_FOUND ? id : "", nowData);
}

bool handle(HelperMessage kind, HelperReader& in, void* data) {
    auto* reader = static_cast<Reader*>(data);
    int result = in.i32();
    std::string id = in.str();
    GameIdFiles files = gameidReadStamps(in);
    if (kind != GAMEID_MSG_ID || !in.done() || !reader->helper.outstanding() ||
        !keptlistIdSound(id) || result < GAMEID_UNCHANGED || result > GAMEID_NO_DRIVE)
        return false;
    reader->helper.answered();
    std::string disc = reader->disc;
    if (!reader->forList) {
        nowAnswer(result == GAMEID_UNCHANGED ? GAMEID_UNREADABLE : result, id, disc, files);
    } else if (result == GAMEID_UNCHANGED) {
        reader->disc.clear();
        settled.insert(disc);
        startJobs();
    } else {
        listAnswer(*reader, result, id, files);
    }
    return true;
}

// The reader died on the disc twice: the disc is not tried again this session.
void lost(void* data) {
    auto* reader = static_cast<Reader*>(data);
    if (!reader->forList) {
        nowAnswer(GAMEID_UNREADABLE, "", reader->disc, GameIdFiles());
        return;
    }
    bad.insert(reader->disc);
    reader->disc.clear();
    startJobs();
}

}  // namespace

void gameidsTakeKept(const std::string& fullPath, const std::string& id, const GameIdFiles& files) {
    stamps[fullPath] = files;
    gameidsTake(fullPath, id, false);
}

void gameidsRequest(const std::vector<std::string>& fullPaths, bool rereadAll) {
    // The list is complete: what waits from an earlier one gives way.
    queue.clear();
    if (rereadAll) settled.clear();
    std::unordered_set<std::string_view> reading;
    for (const auto& reader : readers)
        if (reader && !reader->disc.empty()) reading.insert(reader->disc);
    for (const std::string& path : fullPaths) {
        if (settled.count(path) || bad.count(path) || reading.count(path) ||
            checkExtension(path.c_str(), ".exe"))
            continue;
        bool checkable = !rereadAll && stamps.count(path);
        queue.push_back({path, checkable ? GAMEID_HOW_CHECK : GAMEID_HOW_IMAGE});
    }
    startJobs();
}

size_t gameidsPending() {
    size_t running = 0;
    for (const auto& reader : readers) running += reader && !reader->disc.empty();
    return queue.size() + running;
}

bool gameidsReadNow(const std::string& disc, GameidsDone done, void* data) {
    if (gameidsReadingNow() || disc.empty() || disc.size() > GAMEID_TEXT_MAX) return false;
    if (!nowReader) {
        nowReader = new Reader;
        nowReader->forList = false;
    }
    // A disc of the device list is a drive; any other block device the helper finds itself.
    GameIdHow how = GAMEID_HOW_DISC;
    for (int i = 0; i < cdsearchDeviceQuantity(); ++i)
        if (CD* device = cdsearchDeviceGet(i); device && cdFullPath(device) == disc)
            how = GAMEID_HOW_DEVICE;
    nowDone = done;
    nowData = data;
    if (send(*nowReader, disc, how)) return true;
    nowDone = nullptr;
    return false;
}

bool gameidsReadingNow() { return nowReader && !nowReader->disc.empty(); }

void gameidsStopReading() {
    // A helper held by the share ends once its call returns; none is waited for.
    for (auto& reader : readers)
        if (reader) reader->helper.drop(true);
    if (nowReader) {
        nowReader->helper.drop(true);
        nowReader->disc.clear();
    }
    nowDone = nullptr;
    for (auto& reader : readers) reader.reset();
    delete nowReader;
    nowReader = nullptr;
    queue.clear();
    stamps.clear();
    settled.clear();
    bad.clear();
    // IDs read go to the scan helper now, before it is let go.
    if (keepSource) g_source_remove(keepSource);
    keepSource = 0;
    if (!toKeep.empty()) cdscanKeepIds(std::move(toKeep));
    toKeep.clear();
}
