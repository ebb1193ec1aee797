// Reading disc IDs: nothing is read in this build. Requests are dropped and
// "Get ID" finds no reader.
#include "catalogue/gameids.h"

void gameidsRequest(const std::vector<std::string>&, bool) {}

bool gameidsReadNow(const std::string&, GameidsDone, void*) { return false; }

bool gameidsReadingNow() { return false; }

void gameidsStopReading() {}
