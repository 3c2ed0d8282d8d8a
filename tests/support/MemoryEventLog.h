#pragma once

// Catches the event log of the code under test for as long as it lives.

#include "EventLog.h"

#include <QList>
#include <QMutex>

class MemoryEventLog final : public EventLog::Sink {
public:
    // Not owned by the log: it writes under its own lock, so none is under way once the
    // previous sink is back.
    MemoryEventLog() : previous_(EventLog::SetSink({std::shared_ptr<void>(), this})) {}
    ~MemoryEventLog() override { EventLog::SetSink(previous_); }
    Q_DISABLE_COPY_MOVE(MemoryEventLog)

    bool write(const EventLog::Entry& entry) override {
        QMutexLocker lock(&mutex_);
        entries_.append(entry);
        return true;
    }
    [[nodiscard]] QList<EventLog::Entry> entries() const {
        QMutexLocker lock(&mutex_);
        return entries_;
    }
    [[nodiscard]] QList<qint32> ids() const {
        QList<qint32> out;
        for (const auto& e : entries())
            out.append(e.id);
        return out;
    }
    void clear() {
        QMutexLocker lock(&mutex_);
        entries_.clear();
    }

private:
    mutable QMutex mutex_;
    QList<EventLog::Entry> entries_;
    std::shared_ptr<EventLog::Sink> previous_;
};
