#include "helper/scan/keptlist_merge.h"

#include <string_view>
#include <unordered_set>
#include <utility>

#include "helper/scan/keptlist_store.h"

int keptlistKeep(std::vector<KeptFolder> read, const std::vector<bool>& complete,
                 const char* file) {
    if (read.empty()) return 0;
    std::vector<KeptFolder> held, now;
    bool sound = keptlistRead(&held, file);
    for (size_t i = 0; i < read.size(); i++) {
        if (i < complete.size() && complete[i]) {
            now.push_back(std::move(read[i]));
            // The IDs the file holds stay with the images still there.
            for (const KeptFolder& before : held)
                if (before.folder == now.back().folder && !before.ids.empty()) {
                    KeptFolder& after = now.back();
                    std::unordered_set<std::string_view> listed(after.images.begin(),
                                                                after.images.end());
                    for (const auto& kept : before.ids)
                        if (listed.count(kept.first)) after.ids.insert(kept);
                    break;
                }
            continue;
        }
        // Not read whole this time: the file's entry stays, if it has one.
        for (KeptFolder& before : held)
            if (before.folder == read[i].folder) {
                now.push_back(before);
                break;
            }
    }
    if (sound && keptlistSame(now, held)) return 0;
    return keptlistWrite(now, file) == 0 ? 1 : -1;
}

int keptlistKeepIds(const KeptIdChanges& ids, const char* file) {
    std::vector<KeptFolder> held;
    if (ids.empty() || !keptlistRead(&held, file)) return 0;
    bool changed = false;
    for (KeptFolder& folder : held)
        for (const std::string& image : folder.images) {
            auto news = ids.find(image);
            if (news == ids.end()) continue;
            if (!news->second) {
                changed |= folder.ids.erase(image) > 0;
                continue;
            }
            if (!keptlistIdSound(news->second->id)) continue;
            auto [kept, added] = folder.ids.emplace(image, *news->second);
            if (!added && kept->second == *news->second) continue;
            kept->second = *news->second;
            changed = true;
        }
    if (!changed) return 0;
    return keptlistWrite(held, file) == 0 ? 1 : -1;
}
