// The game ID that a disc's SYSTEM.CNF names on its BOOT line, from the
// file's text alone.
#pragma once

#include <cstddef>
#include <string>

// The ID from SYSTEM.CNF's text ("SLUS-00330" for "BOOT = cdrom:\SLUS_003.30;1"):
// "" for a BOOT line naming another shape of file, and without a BOOT line.
std::string gameidFromSystemCnf(const char* text, size_t size);
