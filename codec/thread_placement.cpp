#include "thread_placement.h"

#include <omp.h>

#if defined(__linux__)
#include <sched.h>
#include <vector>
#endif

void BindTeamToProcessors() {
#if defined(__linux__)
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
    const int team = omp_get_max_threads();
    if (team < 2 || team != CPU_COUNT(&allowed)) return;
    // The calling thread keeps the processor it runs on; the others take the rest in order.
    const int own = sched_getcpu();
    std::vector<int> processors;
    if (own >= 0 && CPU_ISSET(own, &allowed)) processors.push_back(own);
    for (int cpu = 0; cpu < CPU_SETSIZE && static_cast<int>(processors.size()) < team; ++cpu)
        if (CPU_ISSET(cpu, &allowed) && cpu != own) processors.push_back(cpu);
    if (static_cast<int>(processors.size()) != team) return;
#pragma omp parallel num_threads(team)
    {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(processors[static_cast<std::size_t>(omp_get_thread_num())], &one);
        sched_setaffinity(0, sizeof one, &one);
    }
#endif
}
