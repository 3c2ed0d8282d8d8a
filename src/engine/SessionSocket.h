#pragma once

// The TCP client socket of a session: open, send, close, one of five states, and four
// events. Every read is one piece, exactly as received.

#include <QObject>
#include <QTcpSocket>

class SessionSocket : public QObject {
    Q_OBJECT

public:
    enum class State { Closed = 0, Connecting = 6, Connected = 7, Closing = 8, Other = 9 };

    explicit SessionSocket(QObject* parent = nullptr);

    // Closes first when needed; false when the socket could not be brought back to
    // closed, in which case nothing is started. Does not wait for the connection.
    [[nodiscard]] bool open(const QString& host, quint16 port);
    // False, and nothing queued, unless the socket is connected.
    [[nodiscard]] bool send(const QByteArray& data);
    // A command: the text followed by CR LF.
    [[nodiscard]] bool sendLine(const QByteArray& command) { return send(command + "\r\n"); }
    void close();
    [[nodiscard]] State state() const;
    // Why the latest connection failed (refused, unknown host, ...); empty when it did not.
    [[nodiscard]] const QString& lastError() const { return lastError_; }
    // Bytes queued by send() and not yet handed to the network.
    [[nodiscard]] qint64 pendingBytes() const { return socket_.bytesToWrite(); }

    // The description of a send in the wrong state, for the callers' error reports.
    static constexpr int WrongStateError = 40006;
    static const char* const WrongStateText;

signals:
    void dataArrived(const QByteArray& piece, qint64 bytes);
    void sendProgress(qint64 sent, qint64 remaining);
    void sendComplete();
    void errorOccurred(const QString& description);

private:
    void onReadyRead();
    void onBytesWritten(qint64 bytes);
    void onError(QAbstractSocket::SocketError error);

    QTcpSocket socket_;
    QString lastError_;
    bool peerClosed_ = false;
    bool failed_ = false;
    bool closing_ = false;
};
