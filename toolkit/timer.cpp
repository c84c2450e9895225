#include "toolkit/timer.h"

#include <algorithm>
#include <limits>

namespace toolkit {

TTimer::TTimer(QObject* parent) : QObject(parent) {
    Apply();
}

TTimer::~TTimer() = default;

void TTimer::SetInterval(int milliseconds) {
    FInterval = milliseconds;
    StopFrom(0);
    Apply();
}

void TTimer::SetEnabled(bool enabled) {
    FEnabled = enabled;
    Apply();
}

int TTimer::DeliveredInterval() const {
    if (FInterval <= 0) {
        return 0;
    }
    const long long resolution = kSystemTimerResolution;
    const long long rounded = (FInterval + resolution - 1) / resolution * resolution;
    return static_cast<int>(std::min<long long>(rounded, std::numeric_limits<int>::max()));
}

// An interval of zero stops the timer, as a disabled one. The level that delivers now is
// the one of the innermost running handler; a level left stopped below it is started
// again when its handler is the innermost once more.
void TTimer::Apply() {
    if (FEnabled && DeliveredInterval() > 0) {
        Arm(FHandlersRunning);
    } else {
        StopFrom(0);
    }
}

QTimer& TTimer::Level(std::size_t level) {
    while (FLevels.size() <= level) {
        const std::size_t added = FLevels.size();
        auto timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer.get(), &QTimer::timeout, this, [this, added] { Deliver(added); });
        FLevels.push_back(std::move(timer));
    }
    return *FLevels[level];
}

void TTimer::Arm(std::size_t level) {
    QTimer& timer = Level(level);
    if (!timer.isActive()) {
        timer.start(DeliveredInterval());
    }
}

void TTimer::StopFrom(std::size_t level) {
    for (std::size_t i = level; i < FLevels.size(); ++i) {
        FLevels[i]->stop();
    }
}

void TTimer::Deliver(std::size_t level) {
    // A level below the innermost handler's (restarted while that handler ran) is not the
    // one that ticks now.
    if (level != FHandlersRunning || !OnTimer) {
        return;
    }
    struct THandlerScope {
        TTimer& Timer;
        explicit THandlerScope(TTimer& timer) : Timer(timer) {
            ++Timer.FHandlersRunning;
            Timer.Apply();
        }
        ~THandlerScope() {
            Timer.StopFrom(Timer.FHandlersRunning);
            --Timer.FHandlersRunning;
            Timer.Apply();
        }
    } scope(*this);
    OnTimer();
}

} // namespace toolkit
