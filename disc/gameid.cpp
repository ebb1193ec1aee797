#include "disc/gameid.h"

bool gameidSameStamps(const GameIdFiles& a, const GameIdFiles& b) {
    return a.sheetSize == b.sheetSize && a.sheetTime.tv_sec == b.sheetTime.tv_sec &&
           a.sheetTime.tv_nsec == b.sheetTime.tv_nsec && a.dataSize == b.dataSize &&
           a.dataTime.tv_sec == b.dataTime.tv_sec && a.dataTime.tv_nsec == b.dataTime.tv_nsec;
}
