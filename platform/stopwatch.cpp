#include "platform/stopwatch.h"

namespace zv::platform {

StopwatchTable::StopwatchTable(Clock clock)
    : clock_(clock ? std::move(clock) : Clock([] {
          return std::chrono::duration_cast<std::chrono::nanoseconds>(
              std::chrono::steady_clock::now().time_since_epoch());
      }))
{
    const auto t = clock_().count();
    for (auto &s : starts_)
        s.store(t, std::memory_order_relaxed);
}

void StopwatchTable::start(int index)
{
    if (index < 0 || index >= kSize)
        return;
    starts_[static_cast<std::size_t>(index)].store(clock_().count(), std::memory_order_release);
}

double StopwatchTable::read(int index) const
{
    if (index < 0 || index >= kSize)
        return 0.0;
    const auto begin = starts_[static_cast<std::size_t>(index)].load(std::memory_order_acquire);
    return static_cast<double>(clock_().count() - begin) / 1e9;
}

} // namespace zv::platform
