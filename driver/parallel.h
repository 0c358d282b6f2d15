// Work on every core, shown as one thread would show it: tasks run on a pool of threads,
// and what each prints comes out in task order, as soon as the tasks before it are done.
#pragma once

#include <cstdint>
#include <functional>

// Runs `task(index, worker)` for every index below `count` on `jobs` threads (worker is
// the thread's number, below `jobs`, for state a thread keeps to itself). Returns when
// every task has run.
void for_each_in_order(uint32_t count, unsigned jobs, const std::function<void(uint32_t index, unsigned worker)>& task);
