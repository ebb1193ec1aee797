// The scan helper's service: it keeps the scan tree's cache of folder
// listings from one request to the next.
#include "helper/scan/scan_service.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disc/keptlist.h"
#include "helper/scan/keptlist_merge.h"
#include "helper/scan/scantree.h"
#include "protocol/messages.h"

namespace {

struct Reporter {
    int fd;
    std::chrono::steady_clock::time_point lastProgress;
};

void reportUnreadable(const std::string& folder, int error, void* data) {
    helperSendAll(static_cast<Reporter*>(data)->fd, encode(ScanUnreadable{error, folder}));
}

// The count of images found so far, a few times a second.
void reportProgress(int found, void* data) {
    auto* reporter = static_cast<Reporter*>(data);
    auto now = std::chrono::steady_clock::now();
    if (now - reporter->lastProgress < std::chrono::milliseconds(100)) return;
    reporter->lastProgress = now;
    helperSendAll(reporter->fd, encode(ScanFound{static_cast<uint32_t>(found)}));
}

// Keeps each folder's images for the next start, beside the settings file in
// the dialog's folder. A folder that could not be opened keeps what the file
// holds of it; the file is written only when it changes.
void keepImages(const std::vector<std::string>& folders, const std::vector<bool>& opened,
                const std::vector<catalogue::ScanItem>& items,
                const std::vector<size_t>& firstItem) {
    std::vector<KeptFolder> read(folders.size());
    for (size_t i = 0; i < folders.size(); ++i) {
        read[i].folder = folders[i];
        size_t end = i + 1 < folders.size() ? firstItem[i + 1] : items.size();
        for (size_t n = firstItem[i]; opened[i] && n < end; ++n)
            read[i].images.push_back(items[n].path + items[n].name);
    }
    keptlistKeep(std::move(read), opened);
}

// The tree and its reports, kept from one request to the next.
std::unique_ptr<catalogue::ScanTree> tree;
Reporter reporter;

// Keeps or forgets the IDs of a KEEP; without the dialog's folder there is no
// kept list to enter them in.
bool keep(int fd, HelperReader& in, int entered) {
    ScanKeep request;
    if (!decode(in, &request)) return false;
    if (entered == 0) {
        KeptIdChanges changes;
        // Later entries of an image win, as they were sent later.
        for (ScanKeptId& id : request.ids)
            changes[id.image] =
                id.forget ? std::nullopt : std::optional<KeptId>(std::move(id.kept));
        keptlistKeepIds(changes);
    }
    return helperSendAll(fd, encode(ScanKept{request.seq}));
}

}  // namespace

bool cdscanServiceStart(int fd) {
    tree = std::make_unique<catalogue::ScanTree>();
    reporter = {fd, {}};
    catalogue::ScanReport report;
    report.unreadable = reportUnreadable;
    report.progress = reportProgress;
    report.data = &reporter;
    tree->setReport(report);
    return true;
}

bool cdscanServiceHandle(int fd, HelperMessage kind, HelperReader& in, int entered) {
    if (kind == ScanKeep::KIND) return keep(fd, in, entered);
    ScanRequest request;
    if (kind != ScanRequest::KIND || !decode(in, &request)) return false;
    if (entered != 0) return helperSendAll(fd, encode(ScanFailed{request.seq, entered}));

    std::vector<catalogue::ScanItem> items;
    std::vector<bool> opened;
    std::vector<size_t> firstItem;
    reporter.lastProgress = std::chrono::steady_clock::now();
    tree->beginBuild(request.rereadAll);
    for (const std::string& folder : request.folders) {
        firstItem.push_back(items.size());
        opened.push_back(tree->scan(folder, items));
    }
    tree->endBuild();

    // Kept before the answer goes: a dialog that ends at once still finds
    // the list at its next start.
    keepImages(request.folders, opened, items, firstItem);

    // The folders' images joined in the order of the list; the dialog
    // sorts them, as it folds names with the toolkit's Unicode tables.
    ScanImages answer;
    answer.images.reserve(items.size());
    for (catalogue::ScanItem& item : items)
        answer.images.push_back({std::move(item.path), std::move(item.name)});
    for (const std::string& frame : encode(answer))
        if (!helperSendAll(fd, frame)) return false;
    return helperSendAll(
        fd, encode(ScanDone{request.seq, static_cast<uint32_t>(answer.images.size())}));
}
