#include "base/ThrottledYield.h"

namespace sentrel {

ThrottledYield::ThrottledYield(const Clock& clock, std::function<void()> yield, std::int64_t intervalMs)
    : clock_(&clock)
    , yield_(std::move(yield))
    , intervalMs_(intervalMs)
    , lastMs_(clock.tickMs() - intervalMs)
{
}

void ThrottledYield::operator()()
{
    if (clock_->tickMs() - lastMs_ < intervalMs_)
        return;
    if (yield_)
        yield_();
    // Counted from the end: time spent handling events is not work, and a
    // long one (a question asked meanwhile) must not make the next entry
    // yield again at once.
    lastMs_ = clock_->tickMs();
}

} // namespace sentrel
