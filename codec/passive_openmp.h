// OpenMP reads OMP_WAIT_POLICY once, when its runtime loads before main. The codec runs many
// short parallel loops; idle worker threads that spin between them take the processor from the
// thread that works (and from the UI thread and everything else) whenever the machine is busy,
// which made a decode several times slower under load. A program therefore starts itself again
// with the passive policy when none was chosen, keeping a brief spin (GOMP_SPINCOUNT, about
// 50 µs here) before a worker sleeps: waking a sleeping worker takes about as long in a virtual
// machine, and a decode runs its loops back to back often enough that sleeping after every one
// made two threads no faster than one.
#pragma once

// Returns only when the policy is set (or the restart failed, when the program goes on as it is).
void EnsurePassiveOpenMP(char** argv);
