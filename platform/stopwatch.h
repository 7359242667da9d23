#pragma once
// The table of 512 stopwatches that all timing code uses. Index 0 is the
// general stopwatch of every bounded wait. Distinct indices may be started and
// read from different threads at the same time.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

namespace zv::platform {

class StopwatchTable {
public:
    static constexpr int kSize = 512;
    static constexpr int kGeneral = 0;
    using Clock = std::function<std::chrono::nanoseconds()>;

    // The default clock is std::chrono::steady_clock; tests pass their own.
    explicit StopwatchTable(Clock clock = {});

    void start(int index);
    // Elapsed seconds since the last start of index; 0 for an index out of range.
    double read(int index) const;
    double general() const { return read(kGeneral); }

    std::chrono::nanoseconds now() const { return clock_(); }

private:
    Clock clock_;
    std::array<std::atomic<std::int64_t>, kSize> starts_{};
};

} // namespace zv::platform
