#include "passive_openmp.h"

#include <cstdlib>
#include <unistd.h>

void EnsurePassiveOpenMP(char** argv) {
    if (std::getenv("OMP_WAIT_POLICY")) return;
    ::setenv("OMP_WAIT_POLICY", "passive", 1);
    ::execv("/proc/self/exe", argv);
}
