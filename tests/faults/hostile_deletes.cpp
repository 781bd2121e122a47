#include "sweep_hostile.h"

const std::vector<HostileCase> kHostileDeleteCases = {};
