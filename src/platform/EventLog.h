#pragma once

// The service's event log. Entries go to the systemd journal in the mail facility
// (syslog when the journal cannot be reached), or, with HOLLIMERE_EVENTLOG set to a path,
// to that file.

#include <QString>
#include <memory>

namespace EventLog {

enum EventType : int { Success = 0, Error = 1, Warning = 2, Information = 4 };

struct Entry {
    int type = Information;
    qint32 id = 0;
    QString text;

    bool operator==(const Entry&) const = default;
};

class Sink {
public:
    virtual ~Sink() = default;
    // False when the entry could not be written; callers go on regardless.
    virtual bool write(const Entry& entry) = 0;
};

// The journal priority (syslog level) for an event type.
[[nodiscard]] int PriorityFor(int type);

// The journal's MESSAGE_ID of an event: 32 hex digits, a fixed prefix followed by the
// event ID, under which the message catalogue explains the event.
[[nodiscard]] QByteArray MessageId(qint32 id);

// One line of the file sink: ISO time, type, id and text separated by tabs, with
// backslash, tab, CR and LF in the text escaped so that an entry stays one line.
[[nodiscard]] QString FileLine(const Entry& entry);

// The sink chosen by the environment: the file of HOLLIMERE_EVENTLOG, else the journal.
[[nodiscard]] std::shared_ptr<Sink> DefaultSink();

// Replaces the process's sink; nullptr goes back to DefaultSink(). Returns the old one.
std::shared_ptr<Sink> SetSink(std::shared_ptr<Sink> sink);

} // namespace EventLog

// Writes one entry. Never fails the caller; the result says whether it was written.
bool LogEvent(int type, qint32 id, const QString& text);
