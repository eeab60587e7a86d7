#pragma once
// Work shared by this thread and helper threads.
//
// A failure on any thread (an error of the collation, running out of memory)
// makes the others stop at their next chunk, and is raised on the calling
// thread once every thread has stopped. When a helper thread cannot be had
// (short of memory for its stack), this thread does its share as well, so
// the work is always done whole.

#include <cstddef>
#include <functional>

namespace tools {

// The threads the merge puts to work: one per processor, at most 8.
unsigned MergeThreads();

// Calls body(worker) for every worker in 0..workers-1, worker 0 on this
// thread, the others each on a thread of its own; returns when all are done.
void RunOnThreads(unsigned workers, const std::function<void(unsigned worker)>& body);

// Splits 0..count-1 into chunks of at most `chunk` items handed out in turn
// to `workers` threads: body(worker, begin, end).
void ShareChunks(
    unsigned workers, std::size_t count, std::size_t chunk,
    const std::function<void(unsigned worker, std::size_t begin, std::size_t end)>& body);

}  // namespace tools
