// A stand-in for the product package: prints what its scenario says on the
// console protocol, and records how it was started.
#include "tools/stand_in_package/scenario.h"

int wmain() { return StandIn::RunScenario(); }
