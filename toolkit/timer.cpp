// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/timer.h"

#include <algorithm>
#include <limits>

namespace toolkit {

TTimer::TTimer(QObject* parent) : QObject(parent) {
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        if (OnTimer) {
            OnTimer();
        }
    });
    Apply();
}

TTimer::~TTimer() = default;

void TTimer::SetInterval(int milliseconds) {
    FInterval = milliseconds;
    FTimer.stop();
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

// An interval of zero stops the timer, as a disabled one. Enabling a running timer leaves
// its next tick where it was.
void TTimer::Apply() {
    if (!FEnabled || DeliveredInterval() <= 0) {
        FTimer.stop();
    } else if (!FTimer.isActive()) {
        FTimer.start(DeliveredInterval());
    }
}

} // namespace toolkit
