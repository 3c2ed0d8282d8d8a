#pragma once

// The service's seconds counter and the timer that advances it. Every wait measures its
// time-out in these seconds; their length is a setting, so that tests can shorten it.

#include <QObject>
#include <QTimer>
#include <atomic>

class RealTime : public QObject {
    Q_OBJECT

public:
    // secondMs: the length of one second in milliseconds.
    explicit RealTime(int secondMs = 1000, QObject* parent = nullptr);

    [[nodiscard]] qint32 now() const { return count_.load(); }
    [[nodiscard]] int secondMs() const { return secondMs_; }

    void advance();
    // The mail cycle sets the counter back to 0 at its end.
    void set(qint32 value);

signals:
    // Emitted on every change. A thread that waits gets it as an event, which wakes it.
    void changed();

private:
    std::atomic<qint32> count_{0};
    const int secondMs_;
};

// Advances a RealTime once per second of its length; runs from construction on, on the
// thread that creates it.
class RealTimer {
public:
    explicit RealTimer(RealTime& clock);

private:
    QTimer timer_;
};

// Seconds since a start on a RealTime. When the counter was set back, the measurement
// starts again from the new value instead of coming out negative.
class Stopwatch {
public:
    explicit Stopwatch(const RealTime& clock) : clock_(clock), start_(clock.now()) {}

    [[nodiscard]] qint32 elapsed() {
        const qint32 now = clock_.now();
        if (now < start_)
            start_ = now;
        return now - start_;
    }

private:
    const RealTime& clock_;
    qint32 start_;
};
