// The scan helper's side of cdscan.h: it keeps the scan tree's cache of
// folder listings from one request to the next.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "catalogue/cdscan.h"
#include "catalogue/cdsort.h"
#include "catalogue/keptlist.h"
#include "catalogue/scantree.h"
#include "util/helper.h"

namespace {

struct Request {
    uint32_t number = 0;
    bool rereadAll = false;
    std::string cwd;
    std::vector<std::string> folders;
};

bool parse(const std::string& fields, Request* request) {
    HelperReader in(fields.data(), fields.size());
    request->number = in.u32();
    request->rereadAll = in.u8() != 0;
    request->cwd = in.str();
    uint32_t count = in.u32();
    request->folders.clear();
    for (uint32_t i = 0; i < count && in.ok(); ++i) request->folders.push_back(in.str());
    return in.ok();
}

// Waits for the next request; requests that arrived meanwhile replace it (a
// rereadAll among them stays). false once the dialog is gone.
bool nextRequest(int fd, Request* request) {
    bool rereadAll = false;
    bool have = false;
    HelperMessage kind;
    std::string fields;
    for (;;) {
        if (have) {
            struct pollfd ready = {fd, POLLIN, 0};
            if (poll(&ready, 1, 0) <= 0) break;
        }
        if (!helperReceive(fd, &kind, &fields)) return false;
        if (kind != HELPER_MSG_SCAN || !parse(fields, request)) continue;
        rereadAll = rereadAll || request->rereadAll;
        have = true;
    }
    request->rereadAll = rereadAll;
    return true;
}

struct Reporter {
    int fd;
    std::chrono::steady_clock::time_point lastProgress;
};

void reportUnreadable(const std::string& folder, int error, void* data) {
    HelperWriter out(HELPER_MSG_UNREADABLE);
    out.i32(error).str(folder);
    helperSendAll(static_cast<Reporter*>(data)->fd, out.frame());
}

// The count of images found so far, a few times a second.
void reportProgress(int found, void* data) {
    auto* reporter = static_cast<Reporter*>(data);
    auto now = std::chrono::steady_clock::now();
    if (now - reporter->lastProgress < std::chrono::milliseconds(100)) return;
    reporter->lastProgress = now;
    HelperWriter out(HELPER_MSG_FOUND);
    out.u32(static_cast<uint32_t>(found));
    helperSendAll(reporter->fd, out.frame());
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

}  // namespace

void cdscanServe(int fd) {
    catalogue::ScanTree tree;
    Reporter reporter{fd, {}};
    catalogue::ScanReport report;
    report.unreadable = reportUnreadable;
    report.progress = reportProgress;
    report.data = &reporter;
    tree.setReport(report);

    Request request;
    while (nextRequest(fd, &request)) {
        // Relative folders are the dialog's, which keeps its own current folder.
        if (chdir(request.cwd.c_str()) != 0) continue;

        std::vector<catalogue::ScanItem> items;
        std::vector<bool> opened;
        std::vector<size_t> firstItem;
        reporter.lastProgress = std::chrono::steady_clock::now();
        tree.beginBuild(request.rereadAll);
        for (const std::string& folder : request.folders) {
            firstItem.push_back(items.size());
            opened.push_back(tree.scan(folder, items));
        }
        tree.endBuild();

        // Kept before the answer goes: a dialog that ends at once still finds
        // the list at its next start.
        keepImages(request.folders, opened, items, firstItem);

        // The folders' images joined in the order of the list, then sorted as a whole.
        std::vector<CD*> images;
        images.reserve(items.size());
        for (const catalogue::ScanItem& item : items)
            if (CD* cd = cdNew(item.path.c_str(), item.name.c_str())) images.push_back(cd);
        sortCatalogue(images);
        HelperWriter out(HELPER_MSG_IMAGES);
        out.u32(request.number).u32(static_cast<uint32_t>(images.size()));
        for (CD* cd : images) {
            out.str(cd->path).str(cd->name);
            CDDestructor(cd);
        }
        if (!helperSendAll(fd, out.frame())) return;
    }
}
