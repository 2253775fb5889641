#include "progress_line.hpp"

#include <algorithm>
#include <cmath>

namespace hydro {

std::string progress_text(double share_done, double elapsed_seconds) {
    const double share = std::clamp(share_done, 0.0, 1.0);
    char text[96];
    const int percent = static_cast<int>(std::floor(share * 100.0));
    if (share < 0.01 || elapsed_seconds < 1.0 || share >= 1.0) {
        std::snprintf(text, sizeof text, "gridrun: %d%% done", percent);
        return text;
    }
    const long long left = std::llround(elapsed_seconds * (1.0 - share) / share);
    if (left < 60)
        std::snprintf(text, sizeof text, "gridrun: %d%% done, about %lld s left", percent, left);
    else if (left < 3600)
        std::snprintf(text, sizeof text, "gridrun: %d%% done, about %lld min %02lld s left", percent, left / 60,
                      left % 60);
    else
        std::snprintf(text, sizeof text, "gridrun: %d%% done, about %lld h %02lld min left", percent, left / 3600,
                      left / 60 % 60);
    return text;
}

ProgressLine::ProgressLine(std::FILE* terminal) : terminal_(terminal), start_(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() {
    if (drawn_) {
        std::fputs("\033[K", terminal_);
        std::fflush(terminal_);
    }
}

void ProgressLine::update(double share_done) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    // Erase to the end of the line, draw, and go back to its start.
    std::fprintf(terminal_, "\033[K%s\r", progress_text(share_done, elapsed).c_str());
    std::fflush(terminal_);
    drawn_ = true;
}

}  // namespace hydro
