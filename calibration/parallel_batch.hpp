// Runs the evaluations of one batch on several threads. Each index is done
// exactly once, by whichever thread takes it next; results go to the index's
// own slot, so they do not depend on the number of threads.
#pragma once

#include <cstddef>
#include <functional>

namespace hydro {

// Calls work(i) for i = 0 .. count-1 on up to `threads` threads and returns
// when all are done; the first exception thrown by a call is rethrown here
// (the remaining indices are then skipped).
void run_in_parallel(std::size_t count, int threads, const std::function<void(std::size_t)>& work);

}  // namespace hydro
