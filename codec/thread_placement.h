// Keeping the codec's worker threads on processors of their own.
#pragma once

// When OpenMP's team has exactly as many threads as the process may use processors, binds each
// thread of the team, the calling one among them, to a processor of its own. Between two
// parallel loops the workers sleep; woken again, the scheduler often put a worker on the
// processor of the thread that woke it, and for loops of a millisecond or so the two then took
// turns on one processor while the other stayed idle: two threads decoded no faster than one.
// A team smaller than the processors is left free, so that single-threaded processes run side by
// side keep spreading over the machine, and so is a team the user binds through OpenMP's own
// settings.
void BindTeamToProcessors();

// Lets the calling thread run on every processor the process was given, undoing the binding it
// inherited from the thread that started it. Threads of the program's own (row helpers) call it
// first, so that they never queue behind the team's threads.
void FreeCallingThread();

// Binds the calling thread to the processor of the team's last thread, for a thread of the
// program's own that works beside a team one thread smaller (a file writer beside the threads
// making the rows it writes). Left free, such a thread was often put behind a thread of the team
// and ran only when that one waited. Nothing when the team is not bound.
void BindCallingThreadBesideSmallerTeam();
