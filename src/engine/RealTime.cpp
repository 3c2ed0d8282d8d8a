#include "RealTime.h"

RealTime::RealTime(int secondMs, QObject* parent)
    : QObject(parent), secondMs_(secondMs > 0 ? secondMs : 1000) {}

void RealTime::advance() {
    // Wraps at the 32-bit limit instead of overflowing.
    count_.store(static_cast<qint32>(static_cast<quint32>(count_.load()) + 1U));
    emit changed();
}

void RealTime::set(qint32 value) {
    count_.store(value);
    emit changed();
}

RealTimer::RealTimer(RealTime& clock) {
    timer_.setInterval(clock.secondMs());
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &clock, &RealTime::advance);
    timer_.start();
}
