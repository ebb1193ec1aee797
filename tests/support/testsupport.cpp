#include "support/testsupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "catalogue/cdsearch.h"
#include "containers/linkedlist.h"
#include "containers/recently.h"

namespace testsupport {

ScratchDir::ScratchDir() {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) previous_ = cwd;
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/discwren-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir failed");
}

ScratchDir::~ScratchDir() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) perror(previous_.c_str());
    removeTree(path_);
}

CatalogueLists::CatalogueLists() {
    linkedListSystemInit();
    cdsearchInit();
    recentlyInit();
}

CatalogueLists::~CatalogueLists() {
    cdsearchShutdown();
    recentlyShutdown();
    linkedListSystemShutdown();
}

std::string readFile(const std::string& name, bool* ok) {
    std::ifstream in(name, std::ios::binary);
    if (ok) *ok = bool(in);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& name, const std::string& bytes) {
    for (size_t slash = name.find('/', 1); slash != std::string::npos;
         slash = name.find('/', slash + 1))
        mkdir(name.substr(0, slash).c_str(), 0755);
    if (name.empty() || name.back() == '/') return;
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool fileExists(const std::string& name) {
    struct stat st;
    return lstat(name.c_str(), &st) == 0;
}

std::string fileValue(const std::string& key, const std::string& file) {
    std::string text = readFile(file);
    size_t at = text.find("\n" + key + " ");
    if (at == std::string::npos) return "<missing>";
    size_t start = text.find("= ", at) + 2;
    return text.substr(start, text.find('\n', start) - start);
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (struct dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

void removeTree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        for (const std::string& name : folderNames(path)) removeTree(joinPath(path, name));
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::vector<std::string> folderEntries() {
    std::vector<std::string> names = folderNames(".");
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> catalogueItems() {
    std::vector<std::string> items;
    for (int i = 0; i < cdsearchItemQuantity(); ++i)
        items.push_back(cdFullPath(cdsearchItemGet(i)));
    return items;
}

std::vector<std::string> deviceList(const std::string& between) {
    std::vector<std::string> devices;
    for (int i = 0; i < cdsearchDeviceQuantity(); ++i)
        devices.push_back(cdsearchDeviceGet(i)->path + between + cdsearchDeviceGet(i)->name);
    return devices;
}

std::vector<std::string> directoryList() {
    std::vector<std::string> directories;
    for (int i = 0; i < cdsearchDirectoryQuantity(); ++i)
        directories.push_back(cdsearchDirectoryGet(i));
    return directories;
}

std::vector<std::string> recentList() {
    std::vector<std::string> recent;
    for (int i = 0; i < recentlyQuantity(); ++i) recent.push_back(recentlyGet(i));
    return recent;
}

std::vector<int> childProcesses(int pid, bool zombies) {
    std::vector<int> children;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
    for (const std::string& task : folderNames(tasks)) {
        std::string list = readFile(tasks + task + "/children");
        size_t at = 0;
        while (at < list.size()) {
            size_t end = list.find(' ', at);
            if (end == std::string::npos) end = list.size();
            int child = atoi(list.substr(at, end - at).c_str());
            at = end + 1;
            if (child <= 0) continue;
            // The state follows the command's closing parenthesis.
            std::string stat = readFile("/proc/" + std::to_string(child) + "/stat");
            size_t close = stat.rfind(')');
            bool zombie = close != std::string::npos && stat.compare(close, 3, ") Z") == 0;
            if (!zombies || zombie) children.push_back(child);
        }
    }
    return children;
}

std::string emptyBlockDevice() {
    for (int n = 0; n < 8; ++n) {
        std::string path = "/dev/loop" + std::to_string(n);
        struct stat st;
        int fd = open(path.c_str(), O_RDONLY);
        bool empty =
            fd >= 0 && fstat(fd, &st) == 0 && S_ISBLK(st.st_mode) && lseek(fd, 0, SEEK_END) == 0;
        if (fd >= 0) close(fd);
        if (empty) return path;
    }
    return "";
}

std::vector<int> helperChildren() {
    auto executable = [](const std::string& pid) {
        char target[4096];
        ssize_t n = readlink(("/proc/" + pid + "/exe").c_str(), target, sizeof target);
        return std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
    };
    const std::string own = executable("self");
    std::vector<int> helpers = childProcesses(getpid(), true);
    for (int child : childProcesses(getpid()))
        if (executable(std::to_string(child)) == own &&
            std::find(helpers.begin(), helpers.end(), child) == helpers.end())
            helpers.push_back(child);
    return helpers;
}

}  // namespace testsupport
