#include "tile_jobs.hpp"

#include <utility>

namespace hydro {

TileJobs::TileJobs(std::function<void(std::size_t)> job, bool own_thread) : job_(std::move(job)) {
    if (own_thread) thread_ = std::thread([this] { run(); });
}

TileJobs::~TileJobs() {
    stop();
    if (thread_.joinable()) thread_.join();
}

void TileJobs::post(std::size_t k) {
    if (!thread_.joinable()) {
        job_(k);
        done_.store(k + 1, std::memory_order_release);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    posted_ = k + 1;
    changed_.notify_all();
}

bool TileJobs::wait(std::size_t k) {
    if (done_.load(std::memory_order_acquire) > k) return true;
    if (!thread_.joinable()) return false;  // a job never handed over
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return done_.load(std::memory_order_acquire) > k || stopping_; });
    if (done_.load(std::memory_order_acquire) > k) return true;
    if (error_) std::rethrow_exception(error_);
    return false;
}

void TileJobs::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
}

void TileJobs::run() {
    for (;;) {
        std::size_t k;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || posted_ > done_.load(std::memory_order_relaxed); });
            if (stopping_) return;
            k = done_.load(std::memory_order_relaxed);
        }
        try {
            job_(k);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = std::current_exception();
            stopping_ = true;
            changed_.notify_all();
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        done_.store(k + 1, std::memory_order_release);
        changed_.notify_all();
    }
}

}  // namespace hydro
