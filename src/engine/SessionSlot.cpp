#include "SessionSlot.h"

#include "Ansi.h"
#include "EventLog.h"
#include "ReadRules.h"

#include <QCoreApplication>
#include <new>

namespace {

constexpr int NoopSeconds = 10;
constexpr int SendStallSeconds = 5;

QString WrongStateDescription() {
    return QString::number(SessionSocket::WrongStateError) + QLatin1Char(' ') +
           QLatin1String(SessionSocket::WrongStateText);
}

} // namespace

SessionSlot::SessionSlot(RealTime& clock, QObject* parent)
    : QObject(parent), POPSocket(this), SMTPSocket(this), clock_(clock), POPAliveTmr(this),
      SMTPAliveTmr(this) {
    connect(&POPSocket, &SessionSocket::dataArrived, this, &SessionSlot::onPOPData);
    connect(&SMTPSocket, &SessionSocket::dataArrived, this,
            [this](const QByteArray& piece) { onSMTPData(piece); });
    connect(&SMTPSocket, &SessionSocket::sendProgress, this,
            [this] { SendStartTime = clock_.now(); });
    connect(&SMTPSocket, &SessionSocket::errorOccurred, this, [this] { SMTPSocket.close(); });

    for (QTimer* timer : {&POPAliveTmr, &SMTPAliveTmr})
        timer->setInterval(KeepAliveSeconds * clock.secondMs());
    connect(&POPAliveTmr, &QTimer::timeout, this, [this] { keepAlive(Protocol::POP); });
    connect(&SMTPAliveTmr, &QTimer::timeout, this, [this] { keepAlive(Protocol::SMTP); });

    // Each tick reaches this thread as an event, so that a wait that sleeps until the
    // next event sees the time-out of a silent server.
    connect(&clock, &RealTime::changed, this, [] {});
}

void SessionSlot::ClearPieces() {
    MessagePieces.clear();
    PieceCount = 0;
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

void SessionSlot::RunPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void SessionSlot::RequestStop() {
    stop_.store(true);
    // Wakes the thread if it sleeps in a wait.
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);
}

double SessionSlot::LogLevel() const {
    return ReadRules::LeadingNumber(Settings.LogMode);
}

void SessionSlot::awaitNewerPiece(Protocol protocol) {
    // A reply may come in pieces: a newer one gets until the next tick to replace it.
    const quint64 seen = arrivals_[int(protocol)];
    const qint32 tick = clock_.now();
    while (arrivals_[int(protocol)] == seen && clock_.now() == tick &&
           socket(protocol).state() == SessionSocket::State::Connected && !StopRequested())
        LetEventsRun();
}

void SessionSlot::onPOPData(const QByteArray& piece, qint64 bytes) {
    ++arrivals_[int(Protocol::POP)];
    LastReceiveTime = clock_.now();
    if (!piece.isEmpty())
        POPData = piece;
    if (!CaptureMode)
        return;
    QString failure;
    if (PieceCount >= MaxPieces) {
        failure = QStringLiteral("9 Subscript out of range: more than %1 pieces").arg(MaxPieces);
    } else {
        try {
            if (PieceCount >= MessagePieces.size())
                MessagePieces.resize(PieceCount + 1);
            MessagePieces[PieceCount] = piece;
            ++PieceCount;
            ReceivedBytes += bytes;
            return;
        } catch (const std::bad_alloc&) {
            failure = QStringLiteral("7 Out of memory");
        }
    }
    LogEvent(EventLog::Error, 9020, QStringLiteral("Error Receiving Message: ") + failure);
    POPSocket.close();
}

void SessionSlot::onSMTPData(const QByteArray& piece) {
    ++arrivals_[int(Protocol::SMTP)];
    try {
        SMTPData = piece;
    } catch (const std::bad_alloc&) {
        LogEvent(EventLog::Error, 9030, QStringLiteral("Error Sending Message: 7 Out of memory"));
        SMTPSocket.close();
    }
}

void SessionSlot::keepAlive(Protocol protocol) {
    // A closed socket refuses the send; that is ignored.
    buffer(protocol).clear();
    (void)socket(protocol).sendLine("noop");
    buffer(protocol).clear();
}

void SessionSlot::WaitSeconds(int seconds) {
    Stopwatch watch(clock_);
    while (watch.elapsed() < seconds && !StopRequested())
        LetEventsRun();
}

bool SessionSlot::awaitData(const QByteArray& buffer, double timeout) {
    Stopwatch watch(clock_);
    while (buffer.isEmpty()) {
        if (StopRequested())
            return false;
        LetEventsRun();
        if (timeout < watch.elapsed())
            return false;
    }
    return true;
}

bool SessionSlot::waitReply(Protocol protocol, const QByteArray& code) {
    QByteArray& data = buffer(protocol);
    const bool pop = protocol == Protocol::POP;
    if (!pop)
        lastSMTPReply_.clear();
    const double timeout =
        ReadRules::LeadingNumber(pop ? Settings.PopTimeout : Settings.SmtpTimeout);
    if (!awaitData(data, timeout)) {
        data.clear();
        return false;
    }
    // The rest of a reply that came in pieces may be queued already.
    RunPendingEvents();
    if (!pop)
        lastSMTPReply_ = data;
    if (data.startsWith(code)) {
        data.clear();
        return true;
    }
    if (pop && data.startsWith("-ERR")) {
        LogEvent(EventLog::Error, 7200,
                 QStringLiteral("This error was returned from the POP Server: ") +
                     Ansi::FromAnsi(data));
        return false;
    }
    awaitNewerPiece(protocol);
    if (!pop)
        lastSMTPReply_ = data;
    if (data.startsWith(code)) {
        data.clear();
        return true;
    }
    if (LogLevel() > 2) {
        LogEvent(EventLog::Error, pop ? 7210 : 7211,
                 (pop ? QStringLiteral("POP") : QStringLiteral("SMTP")) +
                     QStringLiteral(" service error, improper response code. Code should have "
                                    "been: ") +
                     Ansi::FromAnsi(code) + QStringLiteral(" Code received: ") +
                     Ansi::FromAnsi(data));
    }
    data.clear();
    return false;
}

bool SessionSlot::WaitPOPReply(const QByteArray& code) {
    return waitReply(Protocol::POP, code);
}

bool SessionSlot::WaitSMTPReply(const QByteArray& code) {
    return waitReply(Protocol::SMTP, code);
}

bool SessionSlot::AwaitSMTPSend(qint64 backlog) {
    SendStartTime = clock_.now();
    while (SMTPSocket.pendingBytes() > backlog) {
        if (StopRequested() || SMTPSocket.state() != SessionSocket::State::Connected)
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

bool SessionSlot::WaitSMTPDataReply(const QByteArray& code) {
    if (AwaitSMTPSend(0))
        return WaitSMTPReply(code);
    SMTPData.clear();
    lastSMTPReply_.clear();
    return false;
}

bool SessionSlot::sendNoop(Protocol protocol) {
    if (socket(protocol).sendLine("noop"))
        return true;
    if (LogLevel() == 3)
        LogEvent(EventLog::Error, 7000,
                 (protocol == Protocol::POP ? QStringLiteral("Error Flushing: ")
                                            : QStringLiteral("Ping Error: ")) +
                     WrongStateDescription());
    return false;
}

void SessionSlot::repeatNoop(Protocol protocol, const QByteArray& reply, int pauseSeconds) {
    QByteArray& data = buffer(protocol);
    data.clear();
    Stopwatch watch(clock_);
    while (!data.startsWith(reply) && watch.elapsed() < NoopSeconds && !StopRequested()) {
        data.clear();
        if (!sendNoop(protocol))
            return;
        LetEventsRun();
        WaitSeconds(pauseSeconds);
    }
    data.clear();
}

void SessionSlot::FlushPOP() {
    if (sendNoop(Protocol::POP))
        repeatNoop(Protocol::POP, "+OK", 2);
}

void SessionSlot::PingSMTP() {
    repeatNoop(Protocol::SMTP, "250", 1);
}

void SessionSlot::reportFailure(Protocol protocol, const QString& host) {
    const bool pop = protocol == Protocol::POP;
    SessionSocket& s = socket(protocol);
    switch (s.state()) {
    case SessionSocket::State::Connecting:
        LogEvent(EventLog::Warning, 8000,
                 QStringLiteral("Connection timed out to: ") + host +
                     (pop ? QStringLiteral(", This can be the result of remote server down "
                                           "time or and invalid username, password or mail "
                                           "settings")
                          : QStringLiteral(", This can be the result of remote server down "
                                           "time.")));
        break;
    case SessionSocket::State::Connected:
        // What the failed step left there is no answer to "quit".
        buffer(protocol).clear();
        if (s.sendLine("quit"))
            (void)waitReply(protocol, pop ? "+OK" : "221");
        break;
    case SessionSocket::State::Closing:
        LogEvent(EventLog::Warning, 8001,
                 QStringLiteral("Connection terminated by peer: ") + host +
                     QStringLiteral(", This could result from querying a mail server too "
                                    "often."));
        break;
    default:
        LogEvent(EventLog::Warning, 8002, QStringLiteral("Connection Error to: ") + host);
        break;
    }
    s.close();
}

void SessionSlot::ReportPOPFailure(const QString& host) {
    reportFailure(Protocol::POP, host);
}

void SessionSlot::ReportSMTPFailure(const QString& host) {
    reportFailure(Protocol::SMTP, host);
}
