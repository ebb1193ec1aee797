// Helpers shared by the test suites: scratch folders and whole-file I/O.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the temporary directory that becomes the working
// directory for the object's lifetime; removed with its contents afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// The linked-list system with the catalogue and the recent list on it, set
// up for the object's lifetime (a fixture's member, after its scratch folder).
class CatalogueLists {
public:
    CatalogueLists();
    ~CatalogueLists();
    CatalogueLists(const CatalogueLists&) = delete;
    CatalogueLists& operator=(const CatalogueLists&) = delete;
};

// The bytes of a file, or "" with ok = false when it cannot be read.
std::string readFile(const std::string& name, bool* ok = nullptr);
// Writes a file, making the folders on its way; a name that ends in '/'
// makes the folders alone.
void writeFile(const std::string& name, const std::string& bytes);
bool fileExists(const std::string& name);
// The value written for key in a settings file; "<missing>" without one.
std::string fileValue(const std::string& key, const std::string& file = "discWren.ini");
// The names in a folder in listing order, without "." and "..".
std::vector<std::string> folderNames(const std::string& folder);
// Removes a file or a folder tree; missing paths are fine.
void removeTree(const std::string& path);
// folder and name with one '/' between them.
std::string joinPath(const std::string& folder, const std::string& name);

// The names in the working folder, sorted.
std::vector<std::string> folderEntries();

// Runs body in a child process and returns its exit status (-1 when it did not exit).
template <typename Body>
int inChild(Body body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The CD list as last built, each entry as its path followed by its name.
std::vector<std::string> catalogueItems();

// The child processes of pid, those that have ended and are not yet reaped
// (zombies) alone when zombies is set.
std::vector<int> childProcesses(int pid, bool zombies = false);
// This process's helpers: its children that run its own file, as helpers
// do, and those that have ended and are not yet reaped.
std::vector<int> helperChildren();
// The catalogue's devices, each as its path, between, then its name; and its
// image folders.
std::vector<std::string> deviceList(const std::string& between = "");
std::vector<std::string> directoryList();
// The recently opened list, in its order.
std::vector<std::string> recentList();

// A block device of size 0 (a loop device with nothing attached, as a drive
// without a disc), or "" when there is none to read.
std::string emptyBlockDevice();

}  // namespace testsupport
