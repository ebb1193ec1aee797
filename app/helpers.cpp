#include "app/helpers.h"

#include "catalogue/cdscan.h"
#include "util/md5job.h"

void appServeHelper(HelperKind kind, int fd) {
    switch (kind) {
    case HELPER_SCAN:
        cdscanServe(fd);
        break;
    case HELPER_HASH:
        md5Serve(fd);
        break;
    }
}

int appLaunchHelpers() { return helperLaunch(appServeHelper); }
