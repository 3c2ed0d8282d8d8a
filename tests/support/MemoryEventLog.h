#pragma once

// Catches the event log of the code under test for as long as it lives.

#include "EventLog.h"

#include <QList>
#include <QMutex>

class MemoryEventLog {
public:
    MemoryEventLog() : previous_(EventLog::SetSink(sink_)) {}
    ~MemoryEventLog() { EventLog::SetSink(previous_); }
    Q_DISABLE_COPY_MOVE(MemoryEventLog)

    [[nodiscard]] QList<EventLog::Entry> entries() const {
        QMutexLocker lock(&sink_->mutex);
        return sink_->entries;
    }
    [[nodiscard]] QList<qint32> ids() const {
        QList<qint32> out;
        for (const auto& e : entries())
            out.append(e.id);
        return out;
    }
    void clear() {
        QMutexLocker lock(&sink_->mutex);
        sink_->entries.clear();
    }

private:
    // Shared, so that a worker still holding it after the test's end writes into it safely.
    struct Sink final : EventLog::Sink {
        bool write(const EventLog::Entry& entry) override {
            QMutexLocker lock(&mutex);
            entries.append(entry);
            return true;
        }
        QMutex mutex;
        QList<EventLog::Entry> entries;
    };
    std::shared_ptr<Sink> sink_ = std::make_shared<Sink>();
    std::shared_ptr<EventLog::Sink> previous_;
};
