#include <string>

#include "catalogue/cdsearch.h"

std::string cdFullPath(const CD* cd) { return std::string(cd->path) + cd->name; }
