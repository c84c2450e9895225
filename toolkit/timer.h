#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace toolkit {

// The platform's timer resolution: a timer set to less, or to an interval that is not a
// multiple of it, is delivered at the next multiple. The protocol's tick counts were
// tuned on this resolution.
inline constexpr int kSystemTimerResolution = 16; // milliseconds

// A timer with a nominal interval, delivered at the platform resolution.
class TTimer : public QObject {
    Q_OBJECT
public:
    explicit TTimer(QObject* parent = nullptr);

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
