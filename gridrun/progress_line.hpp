// One self-updating line on a terminal while the cells are simulated: the
// share of the run done and an estimate of the time left, from the time taken
// so far. It is drawn at the start of the current line and ends with a
// carriage return, so the per-cell lines of standard output, when they go to
// the same terminal, overwrite it and it reappears below them.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace hydro {

// "gridrun: 42% done, about 1 min 20 s left" (no estimate before 1% or 1 s).
std::string progress_text(double share_done, double elapsed_seconds);

class ProgressLine {
  public:
    explicit ProgressLine(std::FILE* terminal);
    ~ProgressLine();  // clears the line
    void update(double share_done);

  private:
    std::FILE* terminal_;
    std::chrono::steady_clock::time_point start_;
    bool drawn_ = false;
};

}  // namespace hydro
