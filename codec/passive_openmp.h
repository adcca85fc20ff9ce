// OpenMP reads OMP_WAIT_POLICY once, when its runtime starts before main. The codec runs many
// short parallel loops; idle worker threads that spin between them take the processor from the
// thread that works (and from the UI thread and everything else) whenever the machine is busy,
// which made a decode several times slower under load. A program therefore chooses the passive
// policy when none was chosen, keeping a brief spin (GOMP_SPINCOUNT, about 50 µs here) before a
// worker sleeps: waking a sleeping worker takes about as long in a virtual machine, and a decode
// runs its loops back to back often enough that sleeping after every one made two threads no
// faster than one.
#pragma once

// Sets the policy and the spin in the environment, where the user has not.
void ChoosePassiveOpenMP();

// Returns only when the policy is set: a program whose runtime started without it starts itself
// again with it (or goes on as it is when that fails). Programs that carry the runtime in
// themselves choose it before the runtime starts (passive_openmp_early.cpp) and never restart.
void EnsurePassiveOpenMP(char** argv);
