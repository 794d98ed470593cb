// Threads kept from one run of parts to the next.
#pragma once

#include <cstddef>

// Runs run(context, 0) to run(context, count - 1) on the calling thread and
// on threads kept for it, which take the parts in turn; returns once all
// have ended. Returns false, having run nothing, when the pool is already
// running another caller's parts (or a part runs parts of its own): the
// caller then runs them some other way. `run` must not throw.
bool RunPartsInPool(size_t count, void (*run)(void*, size_t), void* context);
