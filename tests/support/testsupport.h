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

// The bytes of a file, or "" with ok = false when it cannot be read.
std::string readFile(const std::string& name, bool* ok = nullptr);
void writeFile(const std::string& name, const std::string& bytes);
bool fileExists(const std::string& name);
// Removes a file or a folder tree; missing paths are fine.
void removeTree(const std::string& path);

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

}  // namespace testsupport
