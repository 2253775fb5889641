// Work done once per tile, in tile order, beside the threads that simulate
// the cells: reading the forcing of a tile ahead of the cells, routing a
// finished tile to the outlets and writing its records while the next tiles
// are simulated. The jobs run on a thread of their own, or at once in the
// thread that hands them over where the run is to use one thread only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace hydro {

class TileJobs {
  public:
    TileJobs(std::function<void(std::size_t)> job, bool own_thread);
    ~TileJobs();  // stops the thread (jobs handed over and not begun are dropped)
    TileJobs(const TileJobs&) = delete;
    TileJobs& operator=(const TileJobs&) = delete;

    // Job k may run; jobs are handed over in order, from 0. Without a thread
    // of its own the job runs now and what it throws reaches the caller.
    void post(std::size_t k);
    // Waits until job k is done: true then, false when the jobs were stopped
    // first. What a job threw on the thread is thrown here.
    bool wait(std::size_t k);
    // No further job begins; those who wait are woken (the run failed elsewhere).
    void stop();

  private:
    void run();

    std::function<void(std::size_t)> job_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t posted_ = 0;
    std::atomic<std::size_t> done_{0};
    bool stopping_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

}  // namespace hydro
