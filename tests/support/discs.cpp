#include "support/discs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/testsupport.h"

namespace testsupport {

std::string makeIso(const DiscFiles& files, bool rockRidge) {
    const char* tmp = getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/discwren-disc-XXXXXX";
    if (!mkdtemp(folder.data())) return "";
    std::string root = folder + "/root";
    std::string iso = folder + "/disc.iso";
    std::string bytes;
    if (mkdir(root.c_str(), 0700) == 0) {
        for (const auto& file : files) writeFile(joinPath(root, file.first), file.second);
        std::string command = std::string("genisoimage -quiet ") + (rockRidge ? "-R " : "") +
                              "-V GAME -o '" + iso + "' '" + root + "' 2>/dev/null";
        if (system(command.c_str()) == 0) bytes = readFile(iso);
    }
    removeTree(folder);
    return bytes;
}

namespace {

unsigned char bcd(int n) { return static_cast<unsigned char>(n / 10 * 16 + n % 10); }

}  // namespace

std::string wrapSectors(const std::string& iso, Layout layout) {
    if (layout == Layout::Cooked) return iso;
    std::string out;
    for (size_t at = 0, lsn = 0; at < iso.size(); at += 2048, lsn++) {
        std::string data = iso.substr(at, 2048);
        data.resize(2048, '\0');
        std::string header(12, '\xff');
        header[0] = header[11] = '\0';
        size_t frame = lsn + 150;
        header += char(bcd(frame / 75 / 60));
        header += char(bcd(frame / 75 % 60));
        header += char(bcd(frame % 75));
        header += layout == Layout::Mode1Raw ? '\1' : '\2';
        const std::string subheader("\0\0\x08\0\0\0\x08\0", 8);
        if (layout == Layout::Mode1Raw)
            out += header + data + std::string(288, '\0');
        else if (layout == Layout::Mode2Form1)
            out += subheader + data + std::string(280, '\0');
        else
            out += header + subheader + data + std::string(280, '\0');
        if (layout == Layout::Mode2RawSub) out += std::string(96, '\x5a');
    }
    return out;
}

std::string writeDisc(const std::string& folder, const std::string& name, const std::string& boot) {
    std::string iso = makeIso(
        {{boot, std::string(2048, 'x')}, {"SYSTEM.CNF", "BOOT = cdrom:\\" + boot + ";1\r\n"}});
    if (iso.empty()) return iso;
    mkdir(folder.c_str(), 0755);
    writeFile(folder + "/" + name + ".bin", wrapSectors(iso, Layout::Mode2Raw));
    writeFile(folder + "/" + name + ".cue",
              "FILE \"" + name + ".bin\" BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n");
    return iso;
}

std::string silence(int sectors, int sectorSize) {
    return std::string(size_t(sectors) * sectorSize, '\0');
}

std::string attachLoop(const std::string& file, std::string* why) {
    *why = "loop devices need root and losetup";
    if (geteuid() != 0 || access("/dev/loop-control", W_OK) != 0 ||
        system("command -v losetup >/dev/null") != 0)
        return "";
    *why = "no loop device could be attached";
    FILE* pipe = popen(("losetup -r -f --show '" + file + "' 2>/dev/null").c_str(), "r");
    char line[256] = "";
    bool attached = pipe && fgets(line, sizeof line, pipe);
    if (pipe) pclose(pipe);
    return attached ? std::string(line, strcspn(line, "\n")) : "";
}

}  // namespace testsupport
