#pragma once
// A clock for the stopwatch table that runs with real time and that a test can
// move forward at once.
#include <atomic>
#include <chrono>
#include <memory>

namespace zv::test {

class TestClock {
public:
    void advance(std::chrono::nanoseconds by) { offset_->fetch_add(by.count()); }
    void advanceSeconds(double s) { advance(std::chrono::nanoseconds(static_cast<std::int64_t>(s * 1e9))); }
    std::function<std::chrono::nanoseconds()> function() const
    {
        auto offset = offset_;
        return [offset] {
            return std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                   + std::chrono::nanoseconds(offset->load());
        };
    }

private:
    std::shared_ptr<std::atomic<std::int64_t>> offset_ = std::make_shared<std::atomic<std::int64_t>>(0);
};

} // namespace zv::test
