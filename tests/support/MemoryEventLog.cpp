#include "MemoryEventLog.h"

#include <QMutexLocker>

class MemoryEventLog::Sink final : public EventLog::Sink {
public:
    bool write(const EventLog::Entry& entry) override {
        QMutexLocker lock(&mutex);
        entries.append(entry);
        return true;
    }

    mutable QMutex mutex;
    QList<EventLog::Entry> entries;
};

MemoryEventLog::MemoryEventLog()
    : sink_(std::make_shared<Sink>()), previous_(EventLog::SetSink(sink_)) {}

MemoryEventLog::~MemoryEventLog() {
    EventLog::SetSink(previous_);
}

QList<EventLog::Entry> MemoryEventLog::entries() const {
    QMutexLocker lock(&sink_->mutex);
    return sink_->entries;
}

QList<qint32> MemoryEventLog::ids() const {
    QList<qint32> out;
    for (const auto& e : entries())
        out.append(e.id);
    return out;
}

void MemoryEventLog::clear() {
    QMutexLocker lock(&sink_->mutex);
    sink_->entries.clear();
}
