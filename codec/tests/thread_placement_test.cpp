#include "thread_placement.h"

#include <gtest/gtest.h>
#include <omp.h>
#include <sched.h>

#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

namespace {

cpu_set_t Affinity() {
    cpu_set_t set;
    CPU_ZERO(&set);
    sched_getaffinity(0, sizeof set, &set);
    return set;
}

// The processors each thread of a team of `team` may run on, by thread number.
std::vector<cpu_set_t> TeamAffinities(int team) {
    std::vector<cpu_set_t> sets(static_cast<std::size_t>(team));
#pragma omp parallel num_threads(team)
    sets[static_cast<std::size_t>(omp_get_thread_num())] = Affinity();
    return sets;
}

void SetTeamAffinity(int team, const cpu_set_t& set) {
#pragma omp parallel num_threads(team)
    sched_setaffinity(0, sizeof set, &set);
}

} // namespace

TEST(ThreadPlacement, ATeamCoveringEveryProcessorGetsOneEachItsOwnThreadsRunAnywhere) {
    const cpu_set_t allowed = Affinity();
    const int processors = CPU_COUNT(&allowed);
    if (processors < 2) GTEST_SKIP() << "needs two processors";
    for (const char* userBinding : {"OMP_PROC_BIND", "OMP_PLACES", "GOMP_CPU_AFFINITY"})
        if (std::getenv(userBinding)) GTEST_SKIP() << "the user binds the threads: " << userBinding;
    const int defaultTeam = omp_get_max_threads();

    omp_set_num_threads(processors - 1);
    BindTeamToProcessors();
    for (const cpu_set_t& set : TeamAffinities(processors - 1))
        EXPECT_TRUE(CPU_EQUAL(&set, &allowed));

    omp_set_num_threads(processors);
    BindTeamToProcessors();
    const std::vector<cpu_set_t> sets = TeamAffinities(processors);
    std::set<int> taken;
    for (const cpu_set_t& set : sets) {
        ASSERT_EQ(CPU_COUNT(&set), 1);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &set)) {
                EXPECT_TRUE(CPU_ISSET(cpu, &allowed));
                taken.insert(cpu);
            }
    }
    EXPECT_EQ(static_cast<int>(taken.size()), processors);
    std::thread([&] {
        FreeCallingThread();
        const cpu_set_t set = Affinity();
        EXPECT_TRUE(CPU_EQUAL(&set, &allowed));
        BindCallingThreadBesideSmallerTeam();
        const cpu_set_t beside = Affinity();
        EXPECT_TRUE(CPU_EQUAL(&beside, &sets.back()));
    }).join();

    SetTeamAffinity(processors, allowed);
    omp_set_num_threads(defaultTeam);
}
