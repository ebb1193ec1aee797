#include "helper/discid/gameid_drive.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "helper/discid/gameid_boot.h"
#include "helper/discid/gameid_isofs.h"

GameIdResult gameidDriveStatus(int status) {
    switch (status) {
    case CDS_DISC_OK:
    case CDS_NO_INFO:  // the drive cannot tell: try the disc
        return GAMEID_FOUND;
    case CDS_NO_DISC:
    case CDS_TRAY_OPEN:
        return GAMEID_NO_DISC;
    default:  // not ready, a failed request, an unknown answer
        return GAMEID_UNREADABLE;
    }
}

GameIdResult gameidReadDevice(const std::string& device, std::string* id) {
    id->clear();
    int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) return GAMEID_NO_DRIVE;
    if (fd < 0) return errno == ENXIO || errno == ENOMEDIUM ? GAMEID_NO_DISC : GAMEID_UNREADABLE;
    // Only a disc's blocks are read: a FIFO or a terminal could keep the
    // reader waiting for ever.
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISBLK(st.st_mode) || S_ISREG(st.st_mode))) {
        close(fd);
        return GAMEID_UNREADABLE;
    }
    int status = ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
    // Block devices that are not drives answer EINVAL (the block layer's
    // answer to a request it does not know), other files ENOTTY.
    bool drive = !(status < 0 && (errno == ENOTTY || errno == EINVAL));
    GameIdResult result = GAMEID_UNREADABLE;
    if (drive && gameidDriveStatus(status) != GAMEID_FOUND) {
        result = gameidDriveStatus(status);
    } else if (drive) {
        std::string text;
        Search found = systemCnfByLibrary(device, &text);
        result = found == Search::FAILED ? GAMEID_UNREADABLE : GAMEID_NONE;
        if (found == Search::FOUND) {
            *id = gameidFromSystemCnf(text.data(), text.size());
            if (!id->empty()) result = GAMEID_FOUND;
        }
    } else if (S_ISBLK(st.st_mode) && lseek(fd, 0, SEEK_END) == 0) {
        result = GAMEID_NO_DISC;  // a loop device with nothing attached
    } else {
        // Not a drive (a loop device, say): its blocks are the file system's.
        SheetTrack whole;
        whole.sectorSize = kBlock;
        result = readTrack(fd, device, whole, id);
    }
    close(fd);
    return result;
}
