// The last step of replacing a file whole or not at all.
#pragma once

#include <string>

// Writes bytes to fd, a new temporary file in target's folder, gives it mode
// (-1 keeps the mode it was made with), flushes and closes it, renames it over
// target (a link named target is itself replaced) and flushes the folder so the
// rename lasts. 0 on success; -1 with errno set, temporary removed, target untouched.
int wholefileCommit(int fd, const std::string& temporary, const std::string& target,
                    const std::string& bytes, int mode = -1);
