// Work on every core, shown as one thread would show it: tasks run on a pool of threads,
// and what each prints comes out in task order, as soon as the tasks before it are done.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/output_file.h"

// Runs `task(index, worker)` for every index below `count` on `jobs` threads (worker is
// the thread's number, below `jobs`, for state a thread keeps to itself). Returns when
// every task has run; when a task throws, once the running ones are done, with its
// exception.
void for_each_in_order(uint32_t count, unsigned jobs, const std::function<void(uint32_t index, unsigned worker)>& task);

// Writes `files` into `folder` (ending in a separator), on `jobs` threads; what fails is
// reported in their order, and the others are still written. Returns whether all were.
bool write_files_at_once(const std::vector<OutputFile>& files, const std::string& folder, unsigned jobs);
