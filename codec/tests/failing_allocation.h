// The global operator new of the allocation test program, which can be told to fail inside an
// OpenMP parallel region, where an escaping exception would end the program.
#pragma once

// From now on the n-th allocation (n >= 1) made inside a parallel region fails: std::bad_alloc,
// or null for the nothrow forms. 0 disarms.
void FailParallelAllocation(int n);
// Whether the armed failure has happened since the last call of FailParallelAllocation.
bool ParallelAllocationFailed();
