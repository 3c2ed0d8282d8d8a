#include "EventLog.h"

#include "ServiceName.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <fcntl.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

namespace EventLog {

namespace {

class JournalSink final : public Sink {
public:
    bool write(const Entry& entry) override {
        const QByteArray message = entry.text.toUtf8();
        const int priority = PriorityFor(entry.type);
        const int rc = sd_journal_send("MESSAGE=%s", message.constData(), "MESSAGE_ID=%s",
                                       MessageId(entry.id).constData(), "PRIORITY=%i", priority,
                                       "SYSLOG_FACILITY=%i", LOG_MAIL >> 3, "EVENT_ID=%d",
                                       static_cast<int>(entry.id), "EVENT_TYPE=%d", entry.type,
                                       "SYSLOG_IDENTIFIER=%s", ServiceName, nullptr);
        if (rc >= 0)
            return true;
        openlog(ServiceName, LOG_PID, LOG_MAIL);
        syslog(priority, "[%d] %s", static_cast<int>(entry.id), message.constData());
        return true;
    }
};

class FileSink final : public Sink {
public:
    explicit FileSink(QString path) : path_(std::move(path)) {}

    bool write(const Entry& entry) override {
        const QByteArray line = FileLine(entry).toUtf8() + '\n';
        // One write() with O_APPEND keeps lines whole when several processes log.
        const int fd = ::open(QFile::encodeName(path_).constData(),
                              O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
        if (fd < 0)
            return false;
        const bool ok = ::write(fd, line.constData(), line.size()) == line.size();
        ::close(fd);
        return ok;
    }

private:
    QString path_;
};

QMutex sinkMutex;
std::shared_ptr<Sink> currentSink;

} // namespace

int PriorityFor(int type) {
    switch (type) {
    case Success:
        return LOG_NOTICE;
    case Error:
        return LOG_ERR;
    case Warning:
        return LOG_WARNING;
    default:
        return LOG_INFO;
    }
}

QByteArray MessageId(qint32 id) {
    return "5e1c0a7d93b24f68a1d2" +
           QByteArray::number(static_cast<quint32>(id), 16).rightJustified(12, '0');
}

QString FileLine(const Entry& entry) {
    QString text;
    text.reserve(entry.text.size());
    for (const QChar c : entry.text) {
        switch (c.unicode()) {
        case '\\':
            text += QLatin1String("\\\\");
            break;
        case '\t':
            text += QLatin1String("\\t");
            break;
        case '\r':
            text += QLatin1String("\\r");
            break;
        case '\n':
            text += QLatin1String("\\n");
            break;
        default:
            text += c;
        }
    }
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs) + u'\t' +
           QString::number(entry.type) + u'\t' + QString::number(entry.id) + u'\t' + text;
}

std::shared_ptr<Sink> DefaultSink() {
    const QString path = qEnvironmentVariable("HOLLIMERE_EVENTLOG");
    if (!path.isEmpty())
        return std::make_shared<FileSink>(path);
    return std::make_shared<JournalSink>();
}

std::shared_ptr<Sink> SetSink(std::shared_ptr<Sink> sink) {
    QMutexLocker lock(&sinkMutex);
    auto old = std::move(currentSink);
    currentSink = std::move(sink);
    return old;
}

} // namespace EventLog

bool LogEvent(int type, qint32 id, const QString& text) {
    // Entries from the session threads arrive whole and in the order they are written.
    QMutexLocker lock(&EventLog::sinkMutex);
    if (!EventLog::currentSink)
        EventLog::currentSink = EventLog::DefaultSink();
    return EventLog::currentSink->write(EventLog::Entry{type, id, text});
}
