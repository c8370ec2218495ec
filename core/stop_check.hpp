// "Should I stop?": how a long read or write with the GIL released learns that the user wants it
// stopped (Ctrl-C). The caller gives a callback that answers true once the work must end; core
// asks it between pieces, from the thread that started the work only, never more often than
// about every `kStopEvery`, so that asking costs nothing measurable. No Python here.
#pragma once

#include <chrono>
#include <functional>

namespace dcore {

using ShouldStop = std::function<bool()>;

constexpr std::chrono::milliseconds kStopEvery{50};

// Asks `stop` at most every `kStopEvery` (the first call always asks). Once it said yes the
// answer stays yes. An empty `stop` never stops.
class StopPoll {
public:
    explicit StopPoll(const ShouldStop &stop) : stop_(stop) {}
    bool operator()() {
        if (stopped_ || !stop_) return stopped_;
        const auto now = std::chrono::steady_clock::now();
        if (asked_ && now - last_ < kStopEvery) return false;
        asked_ = true;
        last_ = now;
        stopped_ = stop_();
        return stopped_;
    }
    bool stopped() const { return stopped_; }

private:
    const ShouldStop &stop_;
    std::chrono::steady_clock::time_point last_{};
    bool asked_ = false, stopped_ = false;
};

}  // namespace dcore
