#include "passive_openmp.h"

#include <cstdlib>
#include <unistd.h>

void ChoosePassiveOpenMP() {
    if (std::getenv("OMP_WAIT_POLICY")) return;
    ::setenv("OMP_WAIT_POLICY", "passive", 1);
    ::setenv("GOMP_SPINCOUNT", "1000", 0);
}

void EnsurePassiveOpenMP(char** argv) {
    if (std::getenv("OMP_WAIT_POLICY")) return;
    ChoosePassiveOpenMP();
    ::execv("/proc/self/exe", argv);
}
