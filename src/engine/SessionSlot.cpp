#include "SessionSlot.h"

#include "Ansi.h"
#include "EventLog.h"

#include <QCoreApplication>
#include <algorithm>
#include <optional>

namespace {

constexpr int SendStallSeconds = 5;
constexpr int DownloadStallSeconds = 3;
// What may wait in the socket's buffer: the message is handed over piece by piece, so
// that a large one is never held twice.
constexpr qint64 SendBacklog = 1 << 20;

QString WrongStateDescription() {
    return QString::number(SessionSocket::WrongStateError) + QLatin1Char(' ') +
           QLatin1String(SessionSocket::WrongStateText);
}

} // namespace

SessionSlot::SessionSlot(RealTime& clock, QObject* parent)
    : QObject(parent), POP(MailConnection::Protocol::POP, clock, this),
      SMTP(MailConnection::Protocol::SMTP, clock, this), clock_(clock), POPAliveTmr(this),
      SMTPAliveTmr(this), graceTmr(this) {
    connect(&POP, &MailConnection::failed, this, [](const QString& description) {
        LogEvent(EventLog::Error, 9020, QStringLiteral("Error Receiving Message: ") + description);
    });
    connect(&SMTP, &MailConnection::failed, this, [](const QString& description) {
        LogEvent(EventLog::Error, 9030, QStringLiteral("Error Sending Message: ") + description);
    });
    connect(&SMTP.Socket, &SessionSocket::errorOccurred, this, [this] { SMTP.close(); });
    connect(&SMTP.Socket, &SessionSocket::sendProgress, this,
            [this] { SendStartTime = clock_.now(); });

    graceTmr.setSingleShot(true);
    for (QTimer* timer : {&POPAliveTmr, &SMTPAliveTmr})
        timer->setInterval(KeepAliveSeconds * clock.secondMs());
    // A closed socket refuses the "noop"; that is ignored. Its reply is counted off.
    connect(&POPAliveTmr, &QTimer::timeout, this, [this] { (void)POP.send("noop"); });
    connect(&SMTPAliveTmr, &QTimer::timeout, this, [this] { (void)SMTP.send("noop"); });

    // Each tick reaches this thread as an event, so that a wait that sleeps until the
    // next event sees the time-out of a silent server.
    connect(&clock, &RealTime::changed, this, [] {});
}

void SessionSlot::SetPOPAlive(bool on) {
    on ? POPAliveTmr.start() : POPAliveTmr.stop();
}

void SessionSlot::SetSMTPAlive(bool on) {
    on ? SMTPAliveTmr.start() : SMTPAliveTmr.stop();
}

void SessionSlot::LetEventsRun() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void SessionSlot::RequestStop() {
    stop_.store(true);
    // Wakes the thread if it sleeps in a wait.
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);
}

int SessionSlot::timeout(Protocol protocol) const {
    return protocol == Protocol::POP ? Settings.popTimeout : Settings.smtpTimeout;
}

bool SessionSlot::stopped() {
    if (!StopRequested())
        return false;
    if (wrapups_ == 0)
        return true;
    // Measured in milliseconds, not in ticks: while the service stops, the thread that
    // ticks may be the one waiting for this slot.
    if (grace_.isForever()) {
        // At least a second: a server on a busy machine needs that much to answer.
        grace_.setRemainingTime(std::max(qint64(StopGraceSeconds) * clock_.secondMs(), 1000LL));
        graceTmr.start(int(grace_.remainingTime()));
    }
    return grace_.hasExpired();
}

std::optional<SessionSlot::Reply> SessionSlot::await(MailConnection& connection, Ticket ticket,
                                                     double seconds, bool stallRule) {
    Stopwatch watch(clock_);
    for (;;) {
        if (std::optional<Reply> reply = connection.take(ticket))
            return reply;
        if (stopped() || !connection.live() || !connection.owes(ticket))
            return std::nullopt;
        if (stallRule && connection.begun(ticket)) {
            const qint32 now = clock_.now();
            if (now < connection.LastReceiveTime)
                connection.LastReceiveTime = now;
            if (now - connection.LastReceiveTime > DownloadStallSeconds)
                return std::nullopt;
        } else if (seconds < watch.elapsed()) {
            return std::nullopt;
        }
        LetEventsRun();
    }
}

std::optional<SessionSlot::Reply> SessionSlot::AwaitReply(MailConnection& connection, Ticket ticket,
                                                          double seconds) {
    return await(connection, ticket, seconds, false);
}

std::optional<SessionSlot::Reply> SessionSlot::AwaitMessage(Ticket ticket) {
    return await(POP, ticket, timeout(Protocol::POP), true);
}

bool SessionSlot::waitReply(Protocol protocol, std::optional<Ticket> ticket,
                            const QByteArray& code) {
    const bool pop = protocol == Protocol::POP;
    QByteArray& data = pop ? POPData : SMTPData;
    data.clear();
    if (!ticket)
        return false;
    const std::optional<Reply> reply = AwaitReply(connection(protocol), *ticket, timeout(protocol));
    if (!reply) {
        ReportNoAnswer(connection(protocol), *ticket);
        return false;
    }
    data = reply->text();
    if (data.startsWith(code))
        return true;
    if (pop && data.startsWith("-ERR")) {
        LogEvent(EventLog::Error, 7200,
                 QStringLiteral("This error was returned from the POP Server: ") +
                     Ansi::FromAnsi(data));
    } else if (Settings.logLevel == LogLevel::High) {
        LogEvent(EventLog::Error, pop ? 7210 : 7211,
                 (pop ? QStringLiteral("POP") : QStringLiteral("SMTP")) +
                     QStringLiteral(" service error, improper response code. Code should have "
                                    "been: ") +
                     Ansi::FromAnsi(code) + QStringLiteral(" Code received: ") +
                     Ansi::FromAnsi(data));
    }
    return false;
}

bool SessionSlot::WaitPOPReply(std::optional<Ticket> ticket, const QByteArray& code) {
    return waitReply(Protocol::POP, ticket, code);
}

bool SessionSlot::WaitSMTPReply(std::optional<Ticket> ticket, const QByteArray& code) {
    return waitReply(Protocol::SMTP, ticket, code);
}

bool SessionSlot::POPCommand(const QByteArray& command, const QByteArray& code) {
    return WaitPOPReply(POP.send(command), code);
}

bool SessionSlot::SMTPCommand(const QByteArray& command, const QByteArray& code) {
    return WaitSMTPReply(SMTP.send(command), code);
}

bool SessionSlot::awaitSend(qint64 backlog) {
    SendStartTime = clock_.now();
    SessionSocket& socket = SMTP.Socket;
    while (socket.pendingBytes() > backlog) {
        if (StopRequested() || socket.state() != SessionSocket::State::Connected)
            return false;
        const qint32 now = clock_.now();
        if (now < SendStartTime)
            SendStartTime = now;
        if (now - SendStartTime >= SendStallSeconds)
            return false;
        LetEventsRun();
    }
    return true;
}

std::optional<SessionSlot::Ticket> SessionSlot::SendSMTPData(QList<QByteArray>& pieces) {
    for (QByteArray& piece : pieces) {
        if (!awaitSend(SendBacklog) || !SMTP.Socket.send(piece))
            return std::nullopt;
        piece = QByteArray(); // the socket holds what is still to go
    }
    return SMTP.owe("the end of the message data");
}

bool SessionSlot::WaitSMTPDataReply(std::optional<Ticket> ticket, const QByteArray& code) {
    if (ticket && awaitSend(0))
        return WaitSMTPReply(ticket, code);
    SMTPData.clear();
    return false;
}

std::optional<SessionSlot::Ticket> SessionSlot::sendNoop(Protocol protocol) {
    std::optional<Ticket> ticket = connection(protocol).send("noop");
    if (!ticket && Settings.logLevel == LogLevel::High)
        LogEvent(EventLog::Error, 7000,
                 (protocol == Protocol::POP ? QStringLiteral("Error Flushing: ")
                                            : QStringLiteral("Ping Error: ")) +
                     WrongStateDescription());
    return ticket;
}

void SessionSlot::FlushPOP() {
    const std::optional<Ticket> ticket = sendNoop(Protocol::POP);
    if (ticket && !POP.Pipelining)
        (void)AwaitReply(POP, *ticket, ShortReplySeconds);
}

void SessionSlot::PingSMTP() {
    if (const std::optional<Ticket> ticket = sendNoop(Protocol::SMTP))
        (void)AwaitReply(SMTP, *ticket, ShortReplySeconds);
}

void SessionSlot::ReportNoAnswer(MailConnection& connection, Ticket ticket) {
    if (StopRequested() || !connection.live())
        return;
    LogEvent(EventLog::Warning, 8005,
             QStringLiteral("No answer in time from: ") + connection.server() +
                 QStringLiteral(", to ") + QString::fromLatin1(connection.step(ticket)));
}

void SessionSlot::reportFailure(Protocol protocol, const QString& host) {
    const bool pop = protocol == Protocol::POP;
    MailConnection& c = connection(protocol);
    // A close that came with the failed reply decides the report.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    switch (c.Socket.state()) {
    case SessionSocket::State::Connecting:
        LogEvent(EventLog::Warning, 8000,
                 QStringLiteral("Connection timed out to: ") + host +
                     (pop ? QStringLiteral(", This can be the result of remote server down "
                                           "time or and invalid username, password or mail "
                                           "settings")
                          : QStringLiteral(", This can be the result of remote server down "
                                           "time.")));
        break;
    case SessionSocket::State::Connected: {
        // The POP3 "quit" commits the deletions sent so far, even on the way out of a stop.
        // Its answer does not matter: a server that gave none before is not asked again.
        std::optional<Wrapup> wrapup;
        if (pop)
            wrapup.emplace(*this);
        if (const std::optional<Ticket> quit = c.send("quit"))
            (void)AwaitReply(c, *quit, timeout(protocol));
        break;
    }
    case SessionSocket::State::Closing:
        LogEvent(EventLog::Warning, 8001,
                 QStringLiteral("Connection terminated by peer: ") + host +
                     QStringLiteral(", This could result from querying a mail server too "
                                    "often."));
        break;
    default:
        LogEvent(EventLog::Warning, 8002,
                 QStringLiteral("Connection Error to: ") + host +
                     (c.Socket.lastError().isEmpty()
                          ? QString()
                          : QStringLiteral(": ") + c.Socket.lastError()));
        break;
    }
    c.close();
}

void SessionSlot::ReportPOPFailure(const QString& host) {
    reportFailure(Protocol::POP, host);
}

void SessionSlot::ReportSMTPFailure(const QString& host) {
    reportFailure(Protocol::SMTP, host);
}
