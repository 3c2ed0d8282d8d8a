#pragma once

// A POP3 or SMTP connection over the session socket that frames what arrives into whole
// replies and matches them, in order, to the commands that caused them: every command
// sent owes one reply, so the answer to a keep-alive "noop" can never be taken for the
// answer to another command.

#include "RealTime.h"
#include "SessionSocket.h"

#include <QByteArray>
#include <QList>
#include <deque>
#include <optional>

class MailConnection : public QObject {
    Q_OBJECT

public:
    enum class Protocol { POP, SMTP };
    // What a reply looks like. SMTP replies are always Line: one line, or several joined
    // by continuation ("250-" ... "250 "). A POP3 Lines or Message reply is one status
    // line, and when that is "+OK", the lines after it up to a line holding only ".".
    enum class Shape { Line, Lines, Message };
    using Ticket = quint64;

    struct Reply {
        // The reply exactly as received, line ends and final "." line included. A Message
        // reply keeps the pieces as they arrived (the first holds the status line), so
        // that a large message is never copied into one piece.
        QList<QByteArray> pieces;
        [[nodiscard]] QByteArray text() const;
        [[nodiscard]] bool startsWith(QByteArrayView code) const {
            return !pieces.isEmpty() && pieces.first().startsWith(code);
        }
    };

    static constexpr int MaxPieces = 100001;
    // A line longer than this is no reply: the connection is given up.
    static constexpr qsizetype MaxLineBytes = 1 << 20;

    MailConnection(Protocol protocol, const RealTime& clock, QObject* parent = nullptr);

    SessionSocket Socket;

    // Starts connecting, with TLS from the first byte when tls is set; the greeting is
    // owed as the reply to greeting(). False when the socket could not be brought back to
    // closed.
    [[nodiscard]] bool open(const QString& host, quint16 port, bool tls = false);
    // Starts the TLS handshake on the plain connection (after STLS's "+OK"). Nothing is
    // owed then; whatever arrived unread in plain text is dropped, as anyone on the way
    // could have put it there. False unless connected and plain.
    [[nodiscard]] bool startTls();
    // "host:port" of the latest open(), for the events.
    [[nodiscard]] const QString& server() const { return server_; }
    [[nodiscard]] Ticket greeting() const { return greeting_; }
    // Queues the command followed by CR LF; nullopt, and nothing owed, unless connected.
    // Commands sent without waiting in between go out together.
    [[nodiscard]] std::optional<Ticket> send(const QByteArray& command, Shape shape = Shape::Line);
    // Owes a reply to what was sent raw (the end of SMTP message data); step names it.
    [[nodiscard]] Ticket owe(const QByteArray& step, Shape shape = Shape::Line);
    // What the reply to ticket answers, for the events: the command's verb, "the greeting"
    // or "the end of the message data". Never a command's argument (a password).
    [[nodiscard]] QByteArray step(Ticket ticket) const;
    // The reply to ticket once it is whole; replies owed to earlier commands are dropped.
    [[nodiscard]] std::optional<Reply> take(Ticket ticket);
    // Whether the reply to ticket is still to come or waits to be taken.
    [[nodiscard]] bool owes(Ticket ticket) const;
    // Whether any of the reply to ticket has arrived.
    [[nodiscard]] bool begun(Ticket ticket) const;
    [[nodiscard]] bool connected() const {
        return Socket.state() == SessionSocket::State::Connected;
    }
    // Connecting or connected: a reply may still come.
    [[nodiscard]] bool live() const {
        const SessionSocket::State state = Socket.state();
        return state == SessionSocket::State::Connecting ||
               state == SessionSocket::State::Connected;
    }
    // Forgets every reply owed or received.
    void close();

    // Set once the POP3 server listed PIPELINING: commands whose replies are not needed
    // before the next step go out together. Cleared by open().
    bool Pipelining = false;
    // The clock reading of the latest arrival, for the rule on a stalled download.
    qint32 LastReceiveTime = 0;

signals:
    // A whole reply has arrived (for callers that do not wait in a loop).
    void replied();
    // The reply could not be stored (too many pieces, out of memory, a line too long);
    // the connection has been closed.
    void failed(const QString& description);

private:
    struct Owed {
        Ticket ticket;
        Shape shape;
        QByteArray step;
    };

    [[nodiscard]] bool received(Ticket ticket) const;
    // Drops every reply owed or received and every byte not yet framed.
    void forget();
    void onData(const QByteArray& piece);
    void frame();
    // Moves what the buffer holds of a multi-line reply into it; true when it ended.
    [[nodiscard]] bool takeBody();
    void complete();
    void fail(const QString& description);

    const Protocol protocol_;
    const RealTime& clock_;
    Ticket next_ = 1;
    Ticket greeting_ = 0;
    QString server_;
    Ticket floor_ = 0; // replies to tickets below it are dropped on arrival
    std::deque<Owed> owed_;
    std::deque<std::pair<Ticket, Reply>> replies_;
    QByteArray buffer_;   // received, not yet part of a reply
    Reply current_;       // the multi-line reply being received
    bool inBody_ = false; // current_ is past its "+OK" status line
};
