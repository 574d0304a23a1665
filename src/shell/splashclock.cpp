#include "shell/splashclock.h"

#include <thread>

namespace qf::shell {

TSplashClock::TSplashClock(std::function<Clock::time_point()> Now,
                           std::function<void(std::chrono::milliseconds)> Sleep)
    : FNow(std::move(Now)), FSleep(std::move(Sleep)), FStart(FNow())
{
    if (!FSleep)
        FSleep = [](std::chrono::milliseconds Ms) { std::this_thread::sleep_for(Ms); };
}

void TSplashClock::Start() { FStart = FNow(); }

std::chrono::milliseconds TSplashClock::Remaining() const
{
    const auto Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(FNow() - FStart);
    return Elapsed >= MinimumShow ? std::chrono::milliseconds{0} : MinimumShow - Elapsed;
}

void TSplashClock::Wait() const
{
    // Sleeping for the remainder rather than polling the clock: same wait, no busy loop.
    for (auto Left = Remaining(); Left.count() > 0; Left = Remaining())
        FSleep(Left);
}

} // namespace qf::shell
