// Splits an index range over the cores the process may use. No Python object may be touched inside
// `body`.
#pragma once

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "stop_check.hpp"

namespace dcore {

// The CPUs the calling thread may run on, which the threads it starts inherit: its affinity mask
// (taskset, a container's cpuset), not the machine's count, which it falls back to where the mask
// cannot be read (more CPUs than a cpu_set_t holds).
inline unsigned usable_cpus() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

// The workers for `n` items, at least `min_per_worker` each, one a usable CPU at most. The mask is
// read afresh (one system call, far below the cost of starting a thread), so a process moved to
// other CPUs meanwhile is followed; work for one worker asks nothing.
inline unsigned worker_count(std::size_t n, std::size_t min_per_worker) {
    const std::size_t by_size = min_per_worker ? n / min_per_worker : n;
    if (by_size <= 1) return 1;
    return static_cast<unsigned>(std::min<std::size_t>(usable_cpus(), by_size));
}

// Starts one worker thread running `work`.
struct StartThread {
    template <typename Work>
    std::thread operator()(Work &&work) const {
        return std::thread(std::forward<Work>(work));
    }
};

// Starts `count` threads, thread w running make(w), until one cannot be started; `workers` is the
// number the caller meant to run, for the message. Returns the error that ended the starting, or
// none: a thread that cannot be started (a limit on threads) is a std::system_error that says how
// many run. Either way the threads started are in `threads`, running, for the caller to join.
template <typename Start, typename Make>
std::exception_ptr start_workers(std::vector<std::thread> &threads, unsigned count, unsigned workers, Start &start,
                                 Make make) {
    threads.reserve(count);
    for (unsigned w = 0; w < count; ++w) {
        try {
            threads.push_back(start(make(w)));
        } catch (const std::system_error &err) {
            return std::make_exception_ptr(std::system_error(
                err.code(), "cannot start a worker thread (" + std::to_string(threads.size()) + " of " +
                                std::to_string(workers) + " running)"));
        } catch (...) {
            return std::current_exception();
        }
    }
    return nullptr;
}

// Calls body(begin, end) on `workers` contiguous pieces of [0, n), each on a thread of its own that
// `start` starts. The first exception thrown by a piece is rethrown on the calling thread after
// every worker has finished. A thread that cannot be started (a limit on threads) is a
// std::system_error, raised once the threads already running have finished.
template <typename Body, typename Start>
void parallel_for_on(unsigned workers, std::size_t n, Body body, Start start) {
    if (n == 0) return;
    if (workers <= 1) {
        body(std::size_t{0}, n);
        return;
    }
    std::vector<std::exception_ptr> errors(workers);
    const std::size_t step = (n + workers - 1) / workers;
    const auto pieces = static_cast<unsigned>((n + step - 1) / step);  // the non-empty ones
    std::vector<std::thread> threads;
    const std::exception_ptr start_error = start_workers(threads, pieces, workers, start, [&](unsigned w) {
        const std::size_t b = w * step, e = std::min(n, b + step);
        return [&, w, b, e] {
            try {
                body(b, e);
            } catch (...) {
                errors[w] = std::current_exception();
            }
        };
    });
    for (auto &t : threads) t.join();  // a running thread must never be left behind unjoined
    if (start_error) std::rethrow_exception(start_error);
    for (auto &err : errors)
        if (err) std::rethrow_exception(err);
}

template <typename Body>
void parallel_for(std::size_t n, std::size_t min_per_worker, Body body) {
    if (n == 0) return;
    parallel_for_on(worker_count(n, min_per_worker), n, std::move(body), StartThread{});
}

// Calls piece(worker, p) for every p in [0, npieces), `workers` threads taking the pieces in turn
// (worker from 0 to workers - 1 names the thread, for buffers of its own). The calling thread asks
// `stop` once before, then about every kStopEvery, and is the only thread that ever asks it; with one
// worker the calling thread runs the pieces itself and asks between them. Once `stop` says yes no
// further piece starts, the pieces under way finish, every thread is joined and the call returns
// false (also when the last pieces finished meanwhile); true when every piece ran. The first
// exception of a piece, or one that `stop` throws, stops the others in the same way and is rethrown
// once all are joined; a thread that cannot be started is a std::system_error, raised likewise.
template <typename Piece>
bool pieces_in_turn(std::size_t npieces, unsigned workers, Piece piece, const ShouldStop &stop = {}) {
    StopPoll poll(stop);
    if (npieces == 0) return true;
    if (poll()) return false;  // a stop asked for before the work began
    if (workers <= 1 || npieces == 1) {
        for (std::size_t p = 0; p < npieces; ++p) {
            if (poll()) return false;
            piece(0u, p);
        }
        return true;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> halt{false};
    std::exception_ptr error;
    std::mutex mu;
    std::condition_variable cv;
    unsigned finished = 0;
    auto work = [&](unsigned w) {
        try {
            for (std::size_t p; !halt.load(std::memory_order_relaxed) && (p = next++) < npieces;) piece(w, p);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mu);
            if (!error) error = std::current_exception();
            halt = true;
        }
        std::lock_guard<std::mutex> lock(mu);
        ++finished;
        cv.notify_all();
    };
    std::vector<std::thread> threads;
    StartThread start;
    const std::exception_ptr start_error =
        start_workers(threads, workers, workers, start, [&](unsigned w) { return [&work, w] { work(w); }; });
    if (start_error) halt = true;  // the started ones end after the piece they took
    bool stopped = false;
    try {
        std::unique_lock<std::mutex> lock(mu);
        const auto all_done = [&] { return finished == threads.size(); };
        while (!all_done()) {
            if (stopped || !stop) {
                cv.wait(lock, all_done);
                break;
            }
            if (cv.wait_for(lock, kStopEvery, all_done)) break;
            lock.unlock();
            stopped = poll();
            if (stopped) halt = true;
            lock.lock();
        }
    } catch (...) {
        // `stop` threw: the workers end after the piece they took, and are joined before the
        // exception leaves (a thread left joinable would end the process).
        halt = true;
        for (auto &t : threads) t.join();
        throw;
    }
    for (auto &t : threads) t.join();
    if (start_error) std::rethrow_exception(start_error);
    if (error) std::rethrow_exception(error);
    return !stopped;
}

}  // namespace dcore
