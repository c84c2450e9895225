#pragma once

#include <QObject>
#include <QTimer>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace toolkit {

// The platform's timer resolution: a timer set to less, or to an interval that is not a
// multiple of it, is delivered at the next multiple. The protocol's tick counts were
// tuned on this resolution.
inline constexpr int kSystemTimerResolution = 16; // milliseconds

// A timer with a nominal interval, delivered at the platform resolution.
//
// Ticks keep coming while OnTimer itself waits in a modal box: Qt never delivers a timer
// again while its handler is on the stack, so each delivery arms a timer of the next
// level that carries the ticks through any event loop the handler runs, and disarms it
// when the handler returns. Only the level of the innermost handler delivers.
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
    void Deliver(std::size_t level);
    QTimer& Level(std::size_t level);
    void Arm(std::size_t level);
    void StopFrom(std::size_t level);

    // Level 0 ticks while no handler runs; level n while n handlers are on the stack.
    std::vector<std::unique_ptr<QTimer>> FLevels;
    std::size_t FHandlersRunning = 0;
    int FInterval = 1000;
    bool FEnabled = true;
};

} // namespace toolkit
