// Reading disc IDs: ID helpers (protocol/messages.h) read the listed
// images side by side, one image at a time each, so that a slow share keeps
// several reads going. A read that hangs holds only its own disc: readers
// start beside reads that have waited a moment, and a read still waiting
// after the give-up limit is given up, its helper killed and reaped whenever
// it ends. "Get ID" has a helper of its own. IDs read from images go on to
// the scan helper, which keeps them in the kept list with their files'
// stamps; a kept ID is checked by those stamps after a complete list and read
// again only when they differ. Everything runs on the main thread.
#include <glib.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "catalogue/gameids.h"
#include "clients/cdscan.h"
#include "clients/helperclient.h"
#include "protocol/messages.h"
#include "util/path.h"

namespace {

// Reads side by side while none hangs: each mostly waits on the storage, so a
// share's round trips overlap.
constexpr size_t READERS = 8;
// Readers at most, those held by hanging reads included: up to sixteen reads
// that hang leave eight readers working. More than about sixteen working
// readers give a share no more speed.
constexpr size_t READERS_MAX = 24;
// How often running reads are looked at, for a hang.
constexpr guint WATCH_MS = 100;
constexpr int MOMENT_MS = 1000;
constexpr int GIVE_UP_MS = 25000;

int momentMs = MOMENT_MS;   // a read waiting longer hangs: another reader starts beside it
int giveUpMs = GIVE_UP_MS;  // a read waiting longer is given up (a NAS wakes in 10 to 20 s)

struct Reader;
bool handle(HelperMessage kind, HelperReader& in, void* data);
void lost(void* data);

struct Reader {
    HelperClient helper{{HELPER_GAMEID, handle, lost, this}};
    std::string disc;  // the image being read, "" while idle
    bool forList = true;
    gint64 since = 0;  // when the read of disc was sent
};

// A read waiting for a helper.
struct Job {
    std::string disc;
    GameIdHow how;
};

std::vector<std::unique_ptr<Reader>> readers;
Reader* nowReader = nullptr;  // "Get ID"'s
GameidsDone nowDone = nullptr;
void* nowData = nullptr;

std::deque<Job> queue;
std::unordered_set<std::string> waiting;              // queued or being read for the list
std::unordered_map<std::string, GameIdFiles> stamps;  // of the kept IDs, by full path
// Kept entries as taken in at the start, until something changes their image:
// the table and the stamps look here after their own maps, and an entry moves
// into both before either changes. A start with thousands of kept IDs then
// copies none of them before the list shows.
std::unordered_map<std::string, KeptId> keptAtStart;
std::unordered_set<std::string> settled;  // read or checked since the start
// Images that cannot be read until "Update", and why: unreadable, their
// reader died twice, or their read was given up.
std::unordered_map<std::string, GameIdResult> failed;
std::vector<ScanKeptId> toKeep;     // IDs for the scan helper, sent once per turn
std::vector<std::string> toForget;  // images whose kept ID goes, sent with them
guint keepSource = 0;
guint watchSource = 0;

gboolean sendToKeep(gpointer) {
    keepSource = 0;
    if (!toForget.empty()) cdscanForgetIds(std::move(toForget));
    toForget.clear();
    if (!toKeep.empty()) cdscanKeepIds(std::move(toKeep));
    toKeep.clear();
    return FALSE;
}

void keep(const std::string& image, const std::string& id, const GameIdFiles& files) {
    stamps[image] = files;
    toKeep.push_back({image, {id, files}});
    if (!keepSource) keepSource = g_idle_add(sendToKeep, nullptr);
}

// The image cannot be read: its ID goes from the table and the kept list.
void forget(const std::string& image) {
    gameidsForget(image);
    if (!stamps.erase(image)) return;
    toForget.push_back(image);
    if (!keepSource) keepSource = g_idle_add(sendToKeep, nullptr);
}

void markFailed(const std::string& image, GameIdResult why) {
    failed[image] = why;
    gameidsTouch(image);
}

// The stamps kept for an image, nullptr when none are.
const GameIdFiles* stampsOf(const std::string& image) {
    if (auto found = stamps.find(image); found != stamps.end()) return &found->second;
    auto kept = keptAtStart.find(image);
    return kept == keptAtStart.end() ? nullptr : &kept->second.files;
}

bool busy(const Reader* reader) { return reader && !reader->disc.empty(); }

gboolean watchReads(gpointer);

void watchReadsSoon() {
    if (!watchSource) watchSource = g_timeout_add(WATCH_MS, watchReads, nullptr);
}

// Sends the READ; the dialog's folder goes along for relative names.
bool send(Reader& reader, const std::string& disc, GameIdHow how) {
    const GameIdFiles* kept = how == GAMEID_HOW_CHECK ? stampsOf(disc) : nullptr;
    GameIdRequest request{how, disc, kept ? *kept : GameIdFiles()};
    if (!reader.helper.requestFromHere(encode(request))) return false;
    reader.disc = disc;
    reader.since = g_get_monotonic_time();
    watchReadsSoon();
    return true;
}

// List readers wanted now: READERS working ones beside those that hang.
size_t readersWanted() {
    const gint64 hangsBefore = g_get_monotonic_time() - gint64(momentMs) * 1000;
    size_t hanging = 0;
    for (const auto& reader : readers) hanging += busy(reader.get()) && reader->since < hangsBefore;
    return std::min(READERS_MAX, READERS + hanging);
}

// Gives idle list readers the next jobs; a job no helper can take fails, so
// that nothing waits for ever when none can be started.
void startJobs() {
    const size_t wanted = readersWanted();
    for (size_t i = 0; i < wanted && !queue.empty();) {
        if (i == readers.size()) readers.push_back(std::make_unique<Reader>());
        if (busy(readers[i].get())) {
            ++i;
            continue;
        }
        Job job = std::move(queue.front());
        queue.pop_front();
        if (send(*readers[i], job.disc, job.how)) continue;
        waiting.erase(job.disc);
        markFailed(job.disc, GAMEID_UNREADABLE);
    }
}

// A list read given up: its helper is killed and reaped from the main loop
// whenever it ends (a helper stuck in the kernel is never waited for).
void giveUp(Reader& reader) {
    reader.helper.drop(true);
    std::string disc;
    disc.swap(reader.disc);
    waiting.erase(disc);
    markFailed(disc, GAMEID_NO_ANSWER);
}

void nowAnswer(int result, const std::string& id, std::string disc, const GameIdFiles& files);

// Gives up reads waiting past the limit, starts readers beside reads that
// hang, and lets readers beyond the usual number go once idle.
gboolean watchReads(gpointer) {
    const gint64 giveUpBefore = g_get_monotonic_time() - gint64(giveUpMs) * 1000;
    for (auto& reader : readers)
        if (busy(reader.get()) && reader->since < giveUpBefore) giveUp(*reader);
    if (busy(nowReader) && nowReader->since < giveUpBefore) {
        nowReader->helper.drop(true);
        nowAnswer(GAMEID_NO_ANSWER, "", nowReader->disc, GameIdFiles());
    }
    startJobs();
    const size_t wanted = readersWanted();
    while (readers.size() > wanted && !busy(readers.back().get())) readers.pop_back();
    bool running = busy(nowReader);
    for (const auto& reader : readers) running = running || busy(reader.get());
    if (running) return TRUE;
    watchSource = 0;
    return FALSE;
}

// A list reader's answer.
void listAnswer(Reader& reader, int result, const std::string& id, const GameIdFiles& files) {
    std::string disc;
    disc.swap(reader.disc);
    settled.insert(disc);
    waiting.erase(disc);
    gameidsTouch(disc);
    if (result == GAMEID_FOUND || result == GAMEID_NONE) {
        gameidsTake(disc, result == GAMEID_FOUND ? id : "");
        keep(disc, result == GAMEID_FOUND ? id : "", files);
    } else {
        forget(disc);
        markFailed(disc, GAMEID_UNREADABLE);
    }
    startJobs();
}

// Get ID's answer; disc is a copy, as the reader's own is cleared.
void nowAnswer(int result, const std::string& id, std::string disc, const GameIdFiles& files) {
    nowReader->disc.clear();
    GameidsDone done = nowDone;
    nowDone = nullptr;
    // Only an image's read has stamps; a device's ID is for this session only.
    bool image = files.dataTime.tv_sec != 0 || files.dataSize != 0;
    // A disc read with no ID shows none, whatever it showed before.
    if (result == GAMEID_FOUND || result == GAMEID_NONE)
        gameidsTake(disc, result == GAMEID_FOUND ? id : "");
    if (image && (result == GAMEID_FOUND || result == GAMEID_NONE)) {
        settled.insert(disc);
        keep(disc, result == GAMEID_FOUND ? id : "", files);
    }
    if (result == GAMEID_FOUND || result == GAMEID_NONE) {
        if (failed.erase(disc)) gameidsTouch(disc);
    } else if (result == GAMEID_NO_ANSWER) {
        markFailed(disc, GAMEID_NO_ANSWER);
    } else {
        // No disc, no drive, or unreadable: an ID known before is no longer true.
        forget(disc);
        if (result == GAMEID_UNREADABLE) markFailed(disc, GAMEID_UNREADABLE);
    }
    if (done) done(static_cast<GameIdResult>(result), result == GAMEID_FOUND ? id : "", nowData);
}

bool handle(HelperMessage kind, HelperReader& in, void* data) {
    auto* reader = static_cast<Reader*>(data);
    GameIdAnswer answer;
    if (kind != GameIdAnswer::KIND || !decode(in, &answer) || !reader->helper.outstanding())
        return false;
    int result = answer.result;
    const std::string& id = answer.id;
    const GameIdFiles& files = answer.files;
    reader->helper.answered();
    std::string disc = reader->disc;
    if (!reader->forList) {
        nowAnswer(result == GAMEID_UNCHANGED ? GAMEID_UNREADABLE : result, id, disc, files);
    } else if (result == GAMEID_UNCHANGED) {
        reader->disc.clear();
        settled.insert(disc);
        waiting.erase(disc);
        gameidsTouch(disc);
        startJobs();
    } else {
        listAnswer(*reader, result, id, files);
    }
    return true;
}

// The reader died on the disc twice: the disc is not tried again until "Update".
void lost(void* data) {
    auto* reader = static_cast<Reader*>(data);
    if (!reader->forList) {
        nowAnswer(GAMEID_UNREADABLE, "", reader->disc, GameIdFiles());
        return;
    }
    waiting.erase(reader->disc);
    markFailed(reader->disc, GAMEID_UNREADABLE);
    reader->disc.clear();
    startJobs();
}

}  // namespace

void gameidsTakeKept(std::unordered_map<std::string, KeptId> ids) {
    // An image the table or the stamps know already takes its entry at once.
    for (auto it = ids.begin(); it != ids.end();) {
        if (!gameidsFind(it->first) && !stamps.count(it->first)) {
            ++it;
            continue;
        }
        gameidsTake(it->first, it->second.id, false);
        stamps[it->first] = it->second.files;
        it = ids.erase(it);
    }
    if (keptAtStart.empty())
        keptAtStart = std::move(ids);
    else
        keptAtStart.merge(ids);
}

const std::string* gameidsKeptId(const std::string& fullPath) {
    auto found = keptAtStart.find(fullPath);
    return found == keptAtStart.end() ? nullptr : &found->second.id;
}

bool gameidsSettleKept(const std::string& fullPath, std::string* id) {
    auto node = keptAtStart.extract(fullPath);
    if (node.empty()) return false;
    *id = std::move(node.mapped().id);
    stamps.emplace(std::move(node.key()), node.mapped().files);
    return true;
}

void gameidsRequest(const std::vector<std::string>& fullPaths, bool rereadAll,
                    const std::vector<std::string>& first) {
    // The list is complete: what waits from an earlier one gives way.
    std::unordered_set<std::string> before;
    before.swap(waiting);
    queue.clear();
    if (rereadAll) {
        settled.clear();
        for (const auto& entry : failed) gameidsTouch(entry.first);
        failed.clear();
    }
    for (const auto& reader : readers)
        if (busy(reader.get())) waiting.insert(reader->disc);
    for (const std::string& path : fullPaths) {
        if (settled.count(path) || failed.count(path) || waiting.count(path) ||
            checkExtension(path.c_str(), ".exe"))
            continue;
        bool checkable = !rereadAll && stampsOf(path);
        queue.push_back({path, checkable ? GAMEID_HOW_CHECK : GAMEID_HOW_IMAGE});
        waiting.insert(path);
        // A cell changes only where no ID shows yet.
        if (!before.count(path) && !gameidsFind(path)) gameidsTouch(path);
    }
    for (const std::string& path : before)
        if (!waiting.count(path)) gameidsTouch(path);
    gameidsPrioritise(first);
    startJobs();
}

void gameidsPrioritise(const std::vector<std::string>& first) {
    if (first.empty() || queue.empty()) return;
    std::unordered_map<std::string_view, size_t> rank;
    for (const std::string& path : first) rank.emplace(path, rank.size());
    auto end = std::stable_partition(queue.begin(), queue.end(),
                                     [&](const Job& job) { return rank.count(job.disc) != 0; });
    std::stable_sort(queue.begin(), end,
                     [&](const Job& a, const Job& b) { return rank.at(a.disc) < rank.at(b.disc); });
}

size_t gameidsPending() {
    size_t running = 0;
    for (const auto& reader : readers) running += busy(reader.get());
    return queue.size() + running;
}

GameidsState gameidsStateOf(const std::string& fullPath, GameIdResult* why) {
    if (auto found = failed.find(fullPath); found != failed.end()) {
        if (why) *why = found->second;
        return GAMEIDS_FAILED;
    }
    return waiting.count(fullPath) ? GAMEIDS_WAITING : GAMEIDS_IDLE;
}

void gameidsSetWaits(int moment, int giveUp) {
    momentMs = moment > 0 ? moment : MOMENT_MS;
    giveUpMs = giveUp > 0 ? giveUp : GIVE_UP_MS;
}

bool gameidsReadNow(const std::string& disc, bool device, GameidsDone done, void* data) {
    if (gameidsReadingNowOf(disc) || disc.empty() || disc.size() > HELPER_TEXT_MAX) return false;
    if (!nowReader) {
        nowReader = new Reader;
        nowReader->forList = false;
    }
    // Another disc is being read: that read is given up, without an answer.
    if (busy(nowReader)) {
        nowReader->helper.drop(true);
        nowReader->disc.clear();
    }
    // A drive is read as one; any other block device the helper finds itself.
    GameIdHow how = device ? GAMEID_HOW_DEVICE : GAMEID_HOW_DISC;
    nowDone = done;
    nowData = data;
    if (send(*nowReader, disc, how)) return true;
    nowDone = nullptr;
    return false;
}

bool gameidsReadingNow() { return busy(nowReader); }

bool gameidsReadingNowOf(const std::string& disc) {
    return busy(nowReader) && nowReader->disc == disc;
}

void gameidsStopReading() {
    // A helper held by the share ends once its call returns; none is waited for.
    for (auto& reader : readers) reader->helper.drop(true);
    if (nowReader) {
        nowReader->helper.drop(true);
        nowReader->disc.clear();
    }
    nowDone = nullptr;
    readers.clear();
    delete nowReader;
    nowReader = nullptr;
    if (watchSource) g_source_remove(watchSource);
    watchSource = 0;
    queue.clear();
    waiting.clear();
    stamps.clear();
    keptAtStart.clear();
    settled.clear();
    failed.clear();
    gameidsSetWaits(0, 0);
    // IDs read go to the scan helper now, before it is let go.
    if (keepSource) g_source_remove(keepSource);
    sendToKeep(nullptr);
}
