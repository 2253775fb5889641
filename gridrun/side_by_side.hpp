// Parts of the loading that do not depend on each other (the grids, the
// response files, each series file) read at the same time. A user with
// several faulty files is told of the same one as when the parts are read
// one after the other: the first part, in the order given, that failed.
#pragma once

#include <functional>
#include <vector>

namespace hydro {

// Runs parts[0] in this thread and the others each on a thread of its own
// (one after the other where the processor has one thread only); returns
// once every part has ended, throwing what the first failed part threw.
void run_side_by_side(const std::vector<std::function<void()>>& parts);

}  // namespace hydro
