// Parts of the loading that do not depend on each other (the grids, the
// response files, each series file) read at the same time. A user with
// several faulty files is told of the same one as when the parts are read
// one after the other: the first part, in the order given, that failed.
#pragma once

#include <functional>
#include <vector>

namespace hydro {

// Runs the parts on as many threads as the processor has (this one among
// them), each thread taking the next part not yet begun; returns once every
// part has ended, throwing what the first failed part threw. With one
// processor thread the parts run in order and stop at the first failure.
void run_side_by_side(const std::vector<std::function<void()>>& parts);

}  // namespace hydro
