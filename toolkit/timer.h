// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace toolkit {

// The resolution ticks are delivered at: a timer set to less, or to an interval that is
// not a multiple of it, is delivered at the next multiple. The protocol's tick counts were
// tuned on a desktop timer of this resolution; Qt's timers on Linux are finer, so TTimer
// rounds up to it.
inline constexpr int kSystemTimerResolution = 16; // milliseconds

// A timer with a nominal interval, delivered at kSystemTimerResolution. A tick handler
// never waits in a modal loop (whoever reports from a tick has its box shown after the
// tick returns), so one Qt timer carries the ticks, also under an open box.
class TTimer : public QObject {
    Q_OBJECT
public:
    explicit TTimer(QObject* parent = nullptr);
    ~TTimer() override;

    int Interval() const { return FInterval; }
    void SetInterval(int milliseconds);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    // The interval the ticks actually come at.
    int DeliveredInterval() const;

    std::function<void()> OnTimer;

private:
    void Apply();

    QTimer FTimer;
    int FInterval = 1000;
    bool FEnabled = true;
};

} // namespace toolkit
