#include "thread_placement.h"

#include <cstdlib>
#include <omp.h>

#if defined(__linux__)
#include <sched.h>
#include <vector>

namespace {

// The processors the process was given, once the team is bound; set before any thread of the
// program's own starts.
cpu_set_t g_processors;
bool g_bound = false;
// The processor of the team's last thread.
int g_lastProcessor = 0;

} // namespace
#endif

void BindTeamToProcessors() {
#if defined(__linux__)
    for (const char* userBinding : {"OMP_PROC_BIND", "OMP_PLACES", "GOMP_CPU_AFFINITY"})
        if (std::getenv(userBinding)) return;
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
    const int team = omp_get_max_threads();
    if (team < 2 || team != CPU_COUNT(&allowed)) return;
    // The calling thread keeps the processor it runs on; the others take the rest in order.
    const int own = sched_getcpu();
    std::vector<int> processors;
    if (own >= 0 && CPU_ISSET(own, &allowed)) processors.push_back(own);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed) && cpu != own) processors.push_back(cpu);
    g_processors = allowed;
    g_lastProcessor = processors.back();
    g_bound = true;
#pragma omp parallel num_threads(team)
    {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(processors[static_cast<std::size_t>(omp_get_thread_num())], &one);
        sched_setaffinity(0, sizeof one, &one);
    }
#endif
}

void FreeCallingThread() {
#if defined(__linux__)
    if (g_bound) sched_setaffinity(0, sizeof g_processors, &g_processors);
#endif
}

void BindCallingThreadBesideSmallerTeam() {
#if defined(__linux__)
    if (!g_bound) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(g_lastProcessor, &one);
    sched_setaffinity(0, sizeof one, &one);
#endif
}
