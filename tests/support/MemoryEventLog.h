#pragma once

// Catches the event log of the code under test for as long as it lives.

#include "EventLog.h"

#include <QList>
#include <QMutex>

class MemoryEventLog {
public:
    MemoryEventLog();
    ~MemoryEventLog();
    MemoryEventLog(const MemoryEventLog&) = delete;
    MemoryEventLog& operator=(const MemoryEventLog&) = delete;

    [[nodiscard]] QList<EventLog::Entry> entries() const;
    [[nodiscard]] QList<qint32> ids() const;
    void clear();

private:
    class Sink;
    std::shared_ptr<Sink> sink_;
    std::shared_ptr<EventLog::Sink> previous_;
};
