#include "catalogue/cdlists.h"

#include "catalogue/cdsearch.h"

CdLists cdlistsSnapshot() {
    CdLists lists;
    for (int i = 0; i < cdsearchDeviceQuantity(); i++) {
        CD* cd = cdsearchDeviceGet(i);
        lists.devices.push_back(cdFullPath(cd));
    }
    for (int i = 0; i < cdsearchDirectoryQuantity(); i++)
        lists.directories.push_back(cdsearchDirectoryGet(i));
    return lists;
}

void cdlistsRestore(const CdLists& lists) {
    while (cdsearchDeviceQuantity() > 0) cdsearchRemoveDevice(0);
    while (cdsearchDirectoryQuantity() > 0) cdsearchRemoveDirectory(0);
    for (const std::string& device : lists.devices) cdsearchAddDevice(device.c_str());
    for (const std::string& directory : lists.directories) cdsearchAddDirectory(directory.c_str());
}
