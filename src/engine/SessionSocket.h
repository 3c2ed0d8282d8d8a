#pragma once

// The TCP client socket of a session: open, send, close, start TLS, one of five states,
// and three events. Every read is one piece, exactly as received. Plain until TLS is
// asked for; certificates are verified against the system's trust store and the PEM file
// named by HOLLIMERE_CA_FILE, host name included, TLS 1.2 or newer.

#include <QObject>
#include <QSslError>
#include <QSslSocket>

class SessionSocket : public QObject {
    Q_OBJECT

public:
    enum class State { Closed = 0, Connecting = 6, Connected = 7, Closing = 8, Other = 9 };

    explicit SessionSocket(QObject* parent = nullptr);

    // Closes first when needed; false when the socket could not be brought back to
    // closed, in which case nothing is started. Does not wait for the connection. With
    // tls, the handshake follows the connection at once.
    [[nodiscard]] bool open(const QString& host, quint16 port, bool tls = false);
    // Starts the handshake on a connected plain socket; whatever arrived before it and
    // was not yet read is dropped. False unless connected and plain.
    [[nodiscard]] bool startTls();
    // The handshake is done and the peer verified.
    [[nodiscard]] bool encrypted() const { return socket_.isEncrypted(); }
    // "TLS 1.2", "TLS 1.3", or empty while not encrypted.
    [[nodiscard]] QString tlsVersion() const;
    // Why the latest handshake failed, in words ("the certificate is not trusted"), or
    // empty.
    [[nodiscard]] QString tlsFailure() const { return tlsFailure_; }
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
    void dataArrived(const QByteArray& piece);
    // Some of what was queued has gone out.
    void sendProgress();
    void errorOccurred(const QString& description);

private:
    void onReadyRead();

    void onError(QAbstractSocket::SocketError error);
    void onSslErrors(const QList<QSslError>& errors);
    void configureTls();

    QSslSocket socket_;
    QString lastError_;
    QString tlsFailure_;
    bool peerClosed_ = false;
    bool failed_ = false;
    bool closing_ = false;
    bool handshaking_ = false; // connected, the handshake not yet done
};
