#include "side_by_side.hpp"

#include <exception>
#include <thread>

namespace hydro {

void run_side_by_side(const std::vector<std::function<void()>>& parts) {
    std::vector<std::exception_ptr> errors(parts.size());
    auto run_part = [&](std::size_t i) {
        try {
            parts[i]();
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    if (std::thread::hardware_concurrency() > 1) {
        std::vector<std::thread> threads;
        for (std::size_t i = 1; i < parts.size(); ++i) threads.emplace_back(run_part, i);
        if (!parts.empty()) run_part(0);
        for (std::thread& t : threads) t.join();
    } else {
        for (std::size_t i = 0; i < parts.size(); ++i) {
            run_part(i);
            if (errors[i]) break;
        }
    }
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

}  // namespace hydro
