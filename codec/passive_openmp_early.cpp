// Built into programs that link the OpenMP runtime in. Constructors of priority 101 run before
// those without one, the runtime's among them, so the runtime starts with the settings chosen.
#include "passive_openmp.h"

[[gnu::constructor(101)]] static void ChooseBeforeTheRuntimeStarts() { ChoosePassiveOpenMP(); }
