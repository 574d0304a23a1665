#pragma once
// The splash stays at least two seconds from the moment it is painted. The time is
// taken on a monotonic clock, so a change of the system clock cannot prolong it.

#include <chrono>
#include <functional>

namespace qf::shell {

class TSplashClock {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds MinimumShow{2000};

    // Now and Sleep can be replaced, so the rule can be checked without waiting.
    explicit TSplashClock(std::function<Clock::time_point()> Now = &Clock::now,
                          std::function<void(std::chrono::milliseconds)> Sleep = {});

    void Start(); // SplashStartTime := now
    std::chrono::milliseconds Remaining() const;
    // Blocks, without processing window messages, for the rest of the two seconds.
    void Wait() const;

private:
    std::function<Clock::time_point()> FNow;
    std::function<void(std::chrono::milliseconds)> FSleep;
    Clock::time_point FStart;
};

} // namespace qf::shell
