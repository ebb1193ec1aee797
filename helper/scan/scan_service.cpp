// The scan helper's side of cdscan.h: it keeps the scan tree's cache of
// folder listings from one request to the next.
#include "helper/scan/scan_service.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "disc/keptlist.h"
#include "helper/scan/keptlist_merge.h"
#include "helper/scan/scantree.h"
#include "protocol/frames.h"
#include "protocol/scan_messages.h"

namespace {

struct Request {
    uint32_t number = 0;
    bool rereadAll = false;
    std::vector<std::string> folders;
    bool keep = false;  // a KEEP: ids go into the kept list
    KeptIdChanges ids;
};

bool parse(HelperMessage kind, const std::string& fields, Request* request) {
    HelperReader in(fields.data(), fields.size());
    request->keep = kind == SCAN_MSG_KEEP;
    request->ids.clear();
    if (request->keep) return scanReadKeep(in, &request->number, &request->ids);
    request->number = in.u32();
    request->rereadAll = in.u8() != 0;
    uint32_t count = in.u32();
    request->folders.clear();
    for (uint32_t i = 0; i < count && in.ok(); ++i) request->folders.push_back(in.str());
    return in.done();
}

// Waits for the next request and the dialog's folder that comes with it;
// false once the dialog is gone or has sent something that is not a request.
bool nextRequest(int fd, Request* request, int* folder) {
    HelperMessage kind;
    std::string fields;
    if (!helperReceive(fd, &kind, &fields, folder)) return false;
    if ((kind == SCAN_MSG_SCAN || kind == SCAN_MSG_KEEP) && parse(kind, fields, request))
        return true;
    if (*folder >= 0) close(*folder);
    return false;
}

struct Reporter {
    int fd;
    std::chrono::steady_clock::time_point lastProgress;
};

void reportUnreadable(const std::string& folder, int error, void* data) {
    HelperWriter out(SCAN_MSG_UNREADABLE);
    out.i32(error).str(folder);
    helperSendAll(static_cast<Reporter*>(data)->fd, out.frame());
}

// The count of images found so far, a few times a second.
void reportProgress(int found, void* data) {
    auto* reporter = static_cast<Reporter*>(data);
    auto now = std::chrono::steady_clock::now();
    if (now - reporter->lastProgress < std::chrono::milliseconds(100)) return;
    reporter->lastProgress = now;
    HelperWriter out(SCAN_MSG_FOUND);
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
    int home = -1;
    while (nextRequest(fd, &request, &home)) {
        // Relative folders and the kept list are the dialog's folder's.
        int entered = home >= 0 && fchdir(home) == 0 ? 0 : (home >= 0 ? errno : EBADF);
        if (home >= 0) close(home);
        home = -1;
        if (request.keep) {
            // Without the dialog's folder there is no kept list to enter them in.
            if (entered == 0) keptlistKeepIds(request.ids);
            HelperWriter out(SCAN_MSG_KEPT);
            out.u32(request.number);
            if (!helperSendAll(fd, out.frame())) return;
            continue;
        }
        if (entered != 0) {
            HelperWriter out(SCAN_MSG_FAILED);
            out.u32(request.number).i32(entered);
            if (!helperSendAll(fd, out.frame())) return;
            continue;
        }

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

        // The folders' images joined in the order of the list; the dialog
        // sorts them, as it folds names with the toolkit's Unicode tables.
        std::vector<ScanImage> answer;
        answer.reserve(items.size());
        for (catalogue::ScanItem& item : items)
            answer.push_back({std::move(item.path), std::move(item.name)});
        HelperWriter done(SCAN_MSG_DONE);
        done.u32(request.number).u32(static_cast<uint32_t>(answer.size()));
        if (!scanSendImages(fd, answer) || !helperSendAll(fd, done.frame())) return;
    }
}
