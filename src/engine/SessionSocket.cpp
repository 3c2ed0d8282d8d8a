#include "SessionSocket.h"

const char* const SessionSocket::WrongStateText =
    "Wrong protocol or connection state for the requested transaction or request";

SessionSocket::SessionSocket(QObject* parent) : QObject(parent), socket_(this) {
    connect(&socket_, &QTcpSocket::readyRead, this, &SessionSocket::onReadyRead);
    connect(&socket_, &QTcpSocket::bytesWritten, this, &SessionSocket::onBytesWritten);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &SessionSocket::onError);
    // The peer's close arrives as "disconnected" with no call of ours behind it.
    connect(&socket_, &QTcpSocket::disconnected, this, [this] {
        if (!closing_ && !failed_)
            peerClosed_ = true;
    });
}

bool SessionSocket::open(const QString& host, quint16 port) {
    if (state() != State::Closed)
        close();
    if (state() != State::Closed)
        return false;
    lastError_.clear();
    socket_.connectToHost(host, port);
    return true;
}

bool SessionSocket::send(const QByteArray& data) {
    if (state() != State::Connected)
        return false;
    return socket_.write(data) == data.size();
}

void SessionSocket::close() {
    // Our own close: whatever it triggers is not the peer's doing. What was queued (a
    // final "quit") goes out first, as far as the network takes it at once.
    closing_ = true;
    socket_.flush();
    socket_.abort();
    closing_ = false;
    failed_ = false;
    peerClosed_ = false;
}

SessionSocket::State SessionSocket::state() const {
    if (failed_)
        return State::Other;
    if (peerClosed_)
        return State::Closing;
    switch (socket_.state()) {
    case QAbstractSocket::UnconnectedState:
        return State::Closed;
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return State::Connecting;
    case QAbstractSocket::ConnectedState:
        return State::Connected;
    default:
        return State::Other;
    }
}

void SessionSocket::onReadyRead() {
    const QByteArray piece = socket_.readAll();
    emit dataArrived(piece, piece.size());
}

void SessionSocket::onBytesWritten(qint64 bytes) {
    const qint64 remaining = socket_.bytesToWrite();
    emit sendProgress(bytes, remaining);
    if (remaining == 0)
        emit sendComplete();
}

void SessionSocket::onError(QAbstractSocket::SocketError error) {
    // A peer's close is a state, not an error: the session reports it as such.
    if (closing_)
        return;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        peerClosed_ = true;
        return;
    }
    failed_ = true;
    lastError_ = socket_.errorString();
    emit errorOccurred(lastError_);
}
