// Keeping the codec's worker threads on processors of their own.
#pragma once

// When OpenMP's team has exactly as many threads as the process may use processors, binds each
// team thread to one of them, the calling thread to the processor it runs on now. Between two
// parallel loops the workers sleep; woken again, the scheduler often puts a worker on the
// processor of the thread that woke it, and for loops of a millisecond or so the two then take
// turns on one processor while the other stays idle, so two threads decoded no faster than one.
// A team smaller than the processors is left free, so that single-threaded processes run side by
// side keep spreading over the machine.
void BindTeamToProcessors();
