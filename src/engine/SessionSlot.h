#pragma once

// One session slot: the POP3 and SMTP sockets of a mail session with their receive
// buffers, the piece store of the message being relayed, the keep-alive timers and the
// waits. A slot belongs to one thread and is used only from it; the session code runs
// sequentially ("send, then wait") and every wait lets that thread's events run.

#include "ConfigModel.h"
#include "RealTime.h"
#include "SessionSocket.h"

#include <QByteArray>
#include <QList>
#include <QTimer>
#include <array>
#include <atomic>

class SessionSlot : public QObject {
    Q_OBJECT

public:
    static constexpr int MaxPieces = 100001;
    static constexpr int MaxRecipients = 1001;
    static constexpr int KeepAliveSeconds = 20;

    explicit SessionSlot(RealTime& clock, QObject* parent = nullptr);

    // The settings the waits read each time they use them (time-outs, LogMode).
    ConfigSettings Settings;

    SessionSocket POPSocket;
    SessionSocket SMTPSocket;

    // The latest piece received on each socket: replaced, never appended.
    QByteArray POPData;
    QByteArray SMTPData;

    bool CaptureMode = false;
    QList<QByteArray> MessagePieces;
    qint32 PieceCount = 0;
    qint64 ReceivedBytes = 0; // 64-bit: a large download must not overflow it
    qint32 LastReceiveTime = 0;
    qint32 SendStartTime = 0;
    QList<QByteArray> RecipientList;

    // Empties the piece store.
    void ClearPieces();

    // The keep-alives send "noop" every KeepAliveSeconds while switched on.
    void SetPOPAlive(bool on);
    void SetSMTPAlive(bool on);

    void WaitSeconds(int seconds);
    [[nodiscard]] bool WaitPOPReply(const QByteArray& code);
    [[nodiscard]] bool WaitSMTPReply(const QByteArray& code);
    // Waits until no more than backlog bytes are left to send on the SMTP socket; false
    // when the send makes no progress for five seconds or the socket is lost.
    [[nodiscard]] bool AwaitSMTPSend(qint64 backlog);
    // After the message data: the send, then the reply within the SMTP time-out.
    [[nodiscard]] bool WaitSMTPDataReply(const QByteArray& code);
    void FlushPOP();
    void PingSMTP();
    // The reply the latest SMTP wait judged, empty when none came.
    [[nodiscard]] const QByteArray& LastSMTPReply() const { return lastSMTPReply_; }

    // The report when a step of a session failed, chosen by the socket's state; host is
    // the server the session connected to. Leaves the socket closed.
    void ReportPOPFailure(const QString& host);
    void ReportSMTPFailure(const QString& host);

    // Blocks until at least one event of this thread has run.
    void LetEventsRun();
    // Runs what is pending without waiting for more.
    static void RunPendingEvents();

    // Thread-safe. Every wait returns at once, as if timed out, from then on.
    void RequestStop();
    [[nodiscard]] bool StopRequested() const { return stop_.load(); }

    [[nodiscard]] const RealTime& Clock() const { return clock_; }
    // The level of LogMode: 1 Low, 2 Medium, 3 High.
    [[nodiscard]] double LogLevel() const;

private:
    enum class Protocol { POP, SMTP };

    void onPOPData(const QByteArray& piece, qint64 bytes);
    void onSMTPData(const QByteArray& piece);
    void keepAlive(Protocol protocol);
    [[nodiscard]] bool waitReply(Protocol protocol, const QByteArray& code);
    void awaitNewerPiece(Protocol protocol);
    [[nodiscard]] bool awaitData(const QByteArray& buffer, double timeout);
    void reportFailure(Protocol protocol, const QString& host);
    [[nodiscard]] bool sendNoop(Protocol protocol);
    void repeatNoop(Protocol protocol, const QByteArray& reply, int pauseSeconds);

    SessionSocket& socket(Protocol protocol) {
        return protocol == Protocol::POP ? POPSocket : SMTPSocket;
    }
    QByteArray& buffer(Protocol protocol) { return protocol == Protocol::POP ? POPData : SMTPData; }

    RealTime& clock_;
    QTimer POPAliveTmr;
    QTimer SMTPAliveTmr;
    std::atomic_bool stop_{false};
    std::array<quint64, 2> arrivals_{}; // pieces received, by protocol
    QByteArray lastSMTPReply_;
};
