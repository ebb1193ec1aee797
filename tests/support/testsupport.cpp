#include "support/testsupport.h"

#include <dirent.h>
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

std::string readFile(const std::string& name, bool* ok) {
    std::ifstream in(name, std::ios::binary);
    if (ok) *ok = bool(in);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool fileExists(const std::string& name) {
    struct stat st;
    return lstat(name.c_str(), &st) == 0;
}

void removeTree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR* dir = opendir(path.c_str())) {
            while (struct dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..") removeTree(path + "/" + name);
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::vector<std::string> folderEntries() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(".")) {
        while (struct dirent* entry = readdir(dir))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> catalogueItems() {
    std::vector<std::string> items;
    for (int i = 0; i < cdsearchItemQuantity(); ++i)
        items.push_back(std::string(cdsearchItemGet(i)->path) + cdsearchItemGet(i)->name);
    return items;
}

}  // namespace testsupport
