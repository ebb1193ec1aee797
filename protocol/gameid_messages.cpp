#include "protocol/gameid_messages.h"

void gameidWriteStamps(HelperWriter& out, const GameIdFiles& files) {
    out.i64(files.sheetSize).i64(files.sheetTime.tv_sec).i64(files.sheetTime.tv_nsec);
    out.i64(files.dataSize).i64(files.dataTime.tv_sec).i64(files.dataTime.tv_nsec);
}

GameIdFiles gameidReadStamps(HelperReader& in) {
    GameIdFiles files;
    files.sheetSize = in.i64();
    files.sheetTime.tv_sec = static_cast<time_t>(in.i64());
    files.sheetTime.tv_nsec = static_cast<long>(in.i64());
    files.dataSize = in.i64();
    files.dataTime.tv_sec = static_cast<time_t>(in.i64());
    files.dataTime.tv_nsec = static_cast<long>(in.i64());
    return files;
}
