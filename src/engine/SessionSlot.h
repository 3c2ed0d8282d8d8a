#pragma once

// One session slot: the POP3 and SMTP connections of a mail session, their keep-alive
// timers and the waits. A slot belongs to one thread and is used only from it; the
// session code runs sequentially ("send, then await the reply") and every wait lets that
// thread's events run, ending when its reply arrives, its time-out passes, the connection
// closes or a stop is requested.

#include "MailConnection.h"
#include "RealTime.h"
#include "ServiceSettings.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QTimer>
#include <atomic>

class SessionSlot : public QObject {
    Q_OBJECT

public:
    using Ticket = MailConnection::Ticket;
    using Reply = MailConnection::Reply;
    using Shape = MailConnection::Shape;

    static constexpr int KeepAliveSeconds = 20;
    // How long the replies to "noop", STAT and LIST are waited for.
    static constexpr int ShortReplySeconds = 10;

    explicit SessionSlot(RealTime& clock, QObject* parent = nullptr);

    // The settings of the cycle that runs the session (time-outs, log level, SMTP server).
    ServiceSettings Settings;

    MailConnection POP;
    MailConnection SMTP;

    // How the latest POP3 session was protected ("TLS 1.3"), empty when in plain text; set
    // by RetrieveMailbox, read once the session has finished.
    QString POPEncryption;

    // The replies being judged by the latest waits, always whole.
    QByteArray POPData;
    QByteArray SMTPData;

    // The keep-alives send "noop" every KeepAliveSeconds while switched on.
    void SetPOPAlive(bool on);
    void SetSMTPAlive(bool on);

    // The reply to ticket within seconds; nullopt on a time-out, a closed connection or
    // a stop. Nothing is judged or logged.
    [[nodiscard]] std::optional<Reply> AwaitReply(MailConnection& connection, Ticket ticket,
                                                  double seconds);
    // A RETR download: the POP time-out until its first byte, then it ends when more
    // than three seconds pass without a new piece.
    [[nodiscard]] std::optional<Reply> AwaitMessage(Ticket ticket);
    // Judges the reply to ticket by its code within the protocol's time-out: "-ERR" from
    // POP3 is logged (7200), another wrong code at log level 3 (7210, 7211).
    [[nodiscard]] bool WaitPOPReply(std::optional<Ticket> ticket, const QByteArray& code);
    [[nodiscard]] bool WaitSMTPReply(std::optional<Ticket> ticket, const QByteArray& code);
    // Sends a command and judges its reply.
    [[nodiscard]] bool POPCommand(const QByteArray& command, const QByteArray& code);
    [[nodiscard]] bool SMTPCommand(const QByteArray& command, const QByteArray& code);

    // Hands the message data to the SMTP socket piece by piece, each piece freed once
    // handed over; the ticket of the reply to its end, nullopt when the send stalled for
    // five seconds or the socket was lost.
    [[nodiscard]] std::optional<Ticket> SendSMTPData(QList<QByteArray>& pieces);
    // After the message data: the rest of the send, then the reply within the SMTP
    // time-out.
    [[nodiscard]] bool WaitSMTPDataReply(std::optional<Ticket> ticket, const QByteArray& code);
    // RealTime at the latest progress of a send on the SMTP socket.
    qint32 SendStartTime = 0;

    // "noop" on the POP3 connection. Where the server pipelines, its reply is left to be
    // counted off; otherwise it is awaited (ShortReplySeconds at most, result ignored).
    void FlushPOP();
    // "noop" on the SMTP connection, its reply awaited (ShortReplySeconds at most).
    void PingSMTP();

    // The report when a step of a session failed, chosen by the socket's state; host is
    // the server the session connected to. Leaves the connection closed.
    void ReportPOPFailure(const QString& host);
    void ReportSMTPFailure(const QString& host);

    // Blocks until at least one event of this thread has run.
    void LetEventsRun();

    // Thread-safe. Every wait returns at once, as if timed out, from then on, except
    // inside a Wrapup.
    void RequestStop();
    [[nodiscard]] bool StopRequested() const { return stop_.load(); }

    // While one lives, a stop ends the slot's waits only StopGraceSeconds after it was
    // first seen there: long enough to delete what was delivered and say "quit".
    class Wrapup {
    public:
        explicit Wrapup(SessionSlot& slot) : slot_(slot) { ++slot_.wrapups_; }
        ~Wrapup() { --slot_.wrapups_; }
        Wrapup(const Wrapup&) = delete;
        Wrapup& operator=(const Wrapup&) = delete;

    private:
        SessionSlot& slot_;
    };
    static constexpr int StopGraceSeconds = 3;

    // Warning 8005 that the server of connection did not answer ticket in time, unless
    // the wait ended for a stop or a closed connection.
    void ReportNoAnswer(MailConnection& connection, Ticket ticket);

    [[nodiscard]] const RealTime& Clock() const { return clock_; }

private:
    enum class Protocol { POP, SMTP };

    [[nodiscard]] bool waitReply(Protocol protocol, std::optional<Ticket> ticket,
                                 const QByteArray& code);
    [[nodiscard]] std::optional<Reply> await(MailConnection& connection, Ticket ticket,
                                             double seconds, bool stallRule);
    [[nodiscard]] std::optional<Ticket> sendNoop(Protocol protocol);
    [[nodiscard]] int timeout(Protocol protocol) const;
    // Whether a stop ends the waits now.
    [[nodiscard]] bool stopped();
    // Waits until no more than backlog bytes are left to send on the SMTP socket; false
    // when the send makes no progress for five seconds or the socket is lost.
    [[nodiscard]] bool awaitSend(qint64 backlog);
    void reportFailure(Protocol protocol, const QString& host);

    MailConnection& connection(Protocol protocol) { return protocol == Protocol::POP ? POP : SMTP; }

    RealTime& clock_;
    QTimer POPAliveTmr;
    QTimer SMTPAliveTmr;
    std::atomic_bool stop_{false};
    int wrapups_ = 0;
    QDeadlineTimer grace_{QDeadlineTimer::Forever};
    QTimer graceTmr; // wakes a wait when the grace runs out
};
