// The catalogue scan over a folder tree made from the input: names with any
// bytes, symbolic links that point up, down and nowhere, deep nesting. The
// list built must hold exactly the images a plain walk finds, sorted and
// filtered, and nothing the walk does not find.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "catalogue/cdsort.h"
#include "clients/spawn.h"
#include "containers/linkedlist.h"
#include "fuzzsupport.h"
#include "util/path.h"

namespace {

// Reads the input front to back; past its end every byte is 0.
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool done() const { return at >= size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
};

// Whether the filter shows name: its key holds the filter's.
bool holds(const char* name, const std::string& filter) {
    return cdsortKey(name).find(cdsortKey(filter.c_str())) != std::string::npos;
}

const char* const extensions[] = {"", ".cue", ".CCD", ".toc", ".Mds", ".exe", ".bin", ".cue.bin"};
const char* const linkTargets[] = {"..", ".", "/", "nowhere", "../..", "a.cue", "/dev/null"};

// A name of 1 to 255 bytes: any byte but '/' and NUL, never "." or "..".
std::string makeName(Reader* in) {
    uint8_t lead = in->byte();
    size_t length = lead & 0x80 ? 200 + lead % 56 : 1 + lead % 24;
    std::string name;
    for (size_t i = 0; i < length; i++) {
        char c = static_cast<char>(in->byte());
        name += c == '/' ? '_' : c == '\0' ? 'n' : c;
    }
    if (name == "." || name == "..") name += 'x';
    std::string ext = extensions[in->byte() % (sizeof extensions / sizeof *extensions)];
    if (name.size() + ext.size() > 255) name.resize(255 - ext.size());
    return name + ext;
}

// Builds the tree under the folder fd; the path of each folder made is kept
// in folders (relative, with its trailing '/').
void buildTree(Reader* in, int root, std::vector<std::string>* folders) {
    std::vector<int> fds = {root};
    std::vector<std::string> paths = {"t/"};
    while (!in->done()) {
        uint8_t op = in->byte() % 4;
        int here = fds.back();
        if (op == 3) {
            if (fds.size() > 1) {
                close(fds.back());
                fds.pop_back();
                paths.pop_back();
            }
            continue;
        }
        std::string name = makeName(in);
        if (op == 0 && fds.size() < 200) {
            mkdirat(here, name.c_str(), 0755);
            int fd = openat(here, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
            if (fd < 0) continue;
            fds.push_back(fd);
            paths.push_back(paths.back() + name + "/");
            folders->push_back(paths.back());
        } else if (op == 1) {
            int fd = openat(here, name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW, 0644);
            if (fd >= 0) close(fd);
        } else {
            const char* target =
                linkTargets[in->byte() % (sizeof linkTargets / sizeof *linkTargets)];
            symlinkat(target, here, name.c_str());
        }
    }
    for (size_t i = 1; i < fds.size(); i++) close(fds[i]);
}

// The entry names of the folder fd, "." and ".." left out.
std::vector<std::string> namesIn(int fd) {
    std::vector<std::string> names;
    // A duplicate shares the reading position of fd: start from the top.
    DIR* dir = fdopendir(dup(fd));
    if (!dir) return names;
    rewinddir(dir);
    while (struct dirent* entry = readdir(dir))
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    closedir(dir);
    return names;
}

// Removes everything inside the folder fd, whatever the path lengths.
void emptyFolder(int fd) {
    for (const std::string& name : namesIn(fd)) {
        int child = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (child >= 0) {
            emptyFolder(child);
            close(child);
            unlinkat(fd, name.c_str(), AT_REMOVEDIR);
        } else {
            unlinkat(fd, name.c_str(), 0);
        }
    }
}

// The images under a folder, found with a plain walk that never follows a link.
void walk(int fd, const std::string& path, std::vector<std::string>* images) {
    for (const std::string& name : namesIn(fd)) {
        int child = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (child >= 0) {
            walk(child, path + name + "/", images);
            close(child);
        } else if (isImageName(name.c_str())) {
            images->push_back(path + name);
        }
    }
}

// Paths this long reach the limits of the scan's buffer and of the system
// calls; they are checked for sense only, not for presence.
constexpr size_t longPath = 4000;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    helperSetProgram(DISCWREN_HELPER);  // the built helper, not one beside this program
    fuzzsupport::enterScratchDir();
    linkedListSystemInit();
    cdsearchInit();
    mkdir("t", 0755);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    uint8_t flags = in.byte();
    std::string filter;
    for (int i = flags % 4; i > 0; i--) {
        char c = static_cast<char>(in.byte());
        if (c) filter += c;
    }

    int root = open("t", O_RDONLY | O_DIRECTORY);
    if (root < 0) fuzzsupport::fail("no scratch tree");
    emptyFolder(root);
    std::vector<std::string> folders;
    buildTree(&in, root, &folders);

    // The tree, and when asked one folder inside it a second time.
    std::vector<std::string> scanned = {"t/"};
    if ((flags & 0x10) && !folders.empty()) scanned.push_back(folders[0]);
    cdsearchClear();
    for (const std::string& folder : scanned) cdsearchAddDirectory(folder.c_str());
    cdsearchSetFilter(filter.c_str());
    cdsearchBuild();

    std::vector<std::string> expected;
    for (const std::string& folder : scanned) {
        std::vector<std::string> found;
        int fd = folder == "t/" ? dup(root) : open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd >= 0) {
            walk(fd, folder, &found);
            close(fd);
        }
        for (const std::string& image : found) {
            size_t slash = image.rfind('/');
            if (image.size() < longPath &&
                (filter.empty() || holds(image.c_str() + slash + 1, filter)))
                expected.push_back(image);
        }
    }
    close(root);

    const char* noDisc = "No CD (bios shell)";
    bool noDiscListed = cdsearchItemQuantity() > 0 &&
                        std::string(cdsearchItemGet(0)->path) + cdsearchItemGet(0)->name == noDisc;
    if (noDiscListed != holds(noDisc, filter))
        fuzzsupport::fail("the no-disc entry does not follow the filter");
    std::vector<std::string> listed;
    CD* previous = nullptr;
    for (int i = 0; i < cdsearchItemQuantity(); i++) {
        CD* cd = cdsearchItemGet(i);
        std::string full = cdFullPath(cd);
        if (strchr(cd->name, '/')) fuzzsupport::fail("name holds a '/': " + full);
        if (!holds(cd->name, filter)) fuzzsupport::fail("listed against the filter: " + full);
        if (i == 0 && noDiscListed) continue;
        // Names that are prefixes of each other do not compare, so the order
        // holds between neighbours of the whole sorted list, not of a filtered one.
        if (filter.empty() && previous && compareCD(previous, cd) == 1)
            fuzzsupport::fail("out of order: " + full);
        previous = cd;
        if (full.compare(0, 2, "t/") != 0 || !isImageName(cd->name))
            fuzzsupport::fail("not an image of the tree: " + full);
        struct stat st;
        if (full.size() < longPath) {
            if (lstat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
                fuzzsupport::fail("listed but not there: " + full);
            listed.push_back(full);
        }
    }
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    if (listed != expected) {
        for (auto& x : listed) fprintf(stderr, "listed [%s]\n", x.c_str());
        for (auto& x : expected) fprintf(stderr, "walked [%s]\n", x.c_str());
        fuzzsupport::fail("listed " + std::to_string(listed.size()) + " images, the walk found " +
                          std::to_string(expected.size()));
    }
    return 0;
}
