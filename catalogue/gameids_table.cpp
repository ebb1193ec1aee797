// The table of disc IDs and the notice of IDs that changed, sent once per
// turn of the main loop for everything taken since the last one.
#include "catalogue/gameids.h"

#include <glib.h>

#include <unordered_map>
#include <unordered_set>

namespace {

std::unordered_map<std::string, std::string> known;
std::unordered_set<std::string> changed;  // full paths taken since the last notice
GameidsNotify notify = nullptr;
void* notifyData = nullptr;
guint noticeSource = 0;

// A kept entry moves into known before the table changes its image.
void settle(const std::string& fullPath) {
    std::string id;
    if (gameidsSettleKept(fullPath, &id)) known.emplace(fullPath, std::move(id));
}

gboolean sendNotice(gpointer) {
    noticeSource = 0;
    std::vector<std::string> paths(changed.begin(), changed.end());
    changed.clear();
    if (notify && !paths.empty()) notify(paths, notifyData);
    return FALSE;
}

}  // namespace

const std::string* gameidsFind(const std::string& fullPath) {
    auto found = known.find(fullPath);
    return found == known.end() ? gameidsKeptId(fullPath) : &found->second;
}

void gameidsTouch(const std::string& fullPath) {
    changed.insert(fullPath);
    if (!noticeSource) noticeSource = g_idle_add(sendNotice, nullptr);
}

void gameidsTake(const std::string& fullPath, const std::string& id, bool notice) {
    settle(fullPath);
    auto [entry, added] = known.try_emplace(fullPath, id);
    // Unknown and known to have none look the same unless a mark shows for
    // the unknown: otherwise only a new text is news.
    if (added ? id.empty() && gameidsStateOf(fullPath, nullptr) == GAMEIDS_IDLE
              : entry->second == id)
        return;
    entry->second = id;
    if (notice) gameidsTouch(fullPath);
}

void gameidsForget(const std::string& fullPath) {
    settle(fullPath);
    auto found = known.find(fullPath);
    if (found == known.end()) return;
    bool shown = !found->second.empty();
    known.erase(found);
    if (shown) gameidsTouch(fullPath);
}

void gameidsSetNotify(GameidsNotify function, void* data) {
    notify = function;
    notifyData = data;
}

void gameidsStop() {
    gameidsStopReading();
    if (noticeSource) g_source_remove(noticeSource);
    noticeSource = 0;
    changed.clear();
    known.clear();
}
