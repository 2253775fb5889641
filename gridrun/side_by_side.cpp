#include "side_by_side.hpp"

#include <algorithm>
#include <atomic>
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
    const std::size_t n_threads =
        std::min<std::size_t>(parts.size(), std::max(1u, std::thread::hardware_concurrency()));
    if (n_threads > 1) {
        // Each thread takes the next part not yet begun, in order.
        std::atomic<std::size_t> next{0};
        auto take_parts = [&] {
            for (std::size_t i = next.fetch_add(1); i < parts.size(); i = next.fetch_add(1)) run_part(i);
        };
        std::vector<std::thread> threads;
        for (std::size_t t = 1; t < n_threads; ++t) threads.emplace_back(take_parts);
        take_parts();
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
