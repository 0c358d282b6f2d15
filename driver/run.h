// The run from start to end: options, walk, page table, conversion, help project.
#pragma once

// Runs the tool with the process's arguments and returns the exit status: 0, or 1 when a
// file or folder could not be processed (each reported on standard error).
int run(int argc, const char* const* argv);
