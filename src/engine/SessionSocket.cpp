#include "SessionSocket.h"

#include <QSslConfiguration>

namespace {

QString InWords(const QSslError& error) {
    switch (error.error()) {
    case QSslError::HostNameMismatch:
        return QStringLiteral("the certificate is for another host");
    case QSslError::CertificateExpired:
        return QStringLiteral("the certificate has expired");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("the certificate is not valid yet");
    case QSslError::CertificateRevoked:
        return QStringLiteral("the certificate has been revoked");
    case QSslError::NoPeerCertificate:
        return QStringLiteral("the server sent no certificate");
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateRejected:
    case QSslError::InvalidCaCertificate:
        return QStringLiteral("the certificate is not trusted");
    default:
        return error.errorString();
    }
}

} // namespace

const char* const SessionSocket::WrongStateText =
    "Wrong protocol or connection state for the requested transaction or request";

SessionSocket::SessionSocket(QObject* parent) : QObject(parent), socket_(this) {
    connect(&socket_, &QSslSocket::readyRead, this, &SessionSocket::onReadyRead);
    connect(&socket_, &QSslSocket::bytesWritten, this, &SessionSocket::sendProgress);
    connect(&socket_, &QSslSocket::errorOccurred, this, &SessionSocket::onError);
    connect(&socket_, &QSslSocket::sslErrors, this, &SessionSocket::onSslErrors);
    connect(&socket_, &QSslSocket::connected, this,
            [this] { handshaking_ = socket_.mode() != QSslSocket::UnencryptedMode; });
    connect(&socket_, &QSslSocket::encrypted, this, [this] { handshaking_ = false; });
    // The peer's close arrives as "disconnected" with no call of ours behind it.
    connect(&socket_, &QSslSocket::disconnected, this, [this] {
        if (!closing_ && !failed_)
            peerClosed_ = true;
    });
}

void SessionSocket::configureTls() {
    QSslConfiguration tls = socket_.sslConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // The system's trust store is otherwise read as needed, not whole for every session.
    if (const QString extra = qEnvironmentVariable("HOLLIMERE_CA_FILE"); !extra.isEmpty())
        tls.setCaCertificates(QSslConfiguration::systemCaCertificates() +
                              QSslCertificate::fromPath(extra, QSsl::Pem));
    socket_.setSslConfiguration(tls);
    tlsFailure_.clear();
}

bool SessionSocket::open(const QString& host, quint16 port, bool tls) {
    if (state() != State::Closed)
        close();
    if (state() != State::Closed)
        return false;
    lastError_.clear();
    if (tls) {
        configureTls();
        socket_.connectToHostEncrypted(host, port);
    } else {
        socket_.connectToHost(host, port);
    }
    return true;
}

bool SessionSocket::startTls() {
    if (state() != State::Connected || socket_.mode() != QSslSocket::UnencryptedMode)
        return false;
    // Sent in plain text before the handshake: anyone on the way could have put it there.
    (void)socket_.readAll();
    configureTls();
    handshaking_ = true;
    socket_.startClientEncryption();
    return true;
}

QString SessionSocket::tlsVersion() const {
    if (!socket_.isEncrypted())
        return {};
    switch (socket_.sessionProtocol()) {
    case QSsl::TlsV1_2:
        return QStringLiteral("TLS 1.2");
    case QSsl::TlsV1_3:
        return QStringLiteral("TLS 1.3");
    default:
        return QStringLiteral("TLS");
    }
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
    handshaking_ = false;
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
    emit dataArrived(socket_.readAll());
}

void SessionSocket::onSslErrors(const QList<QSslError>& errors) {
    QStringList words;
    for (const QSslError& error : errors) {
        if (const QString w = InWords(error); !words.contains(w))
            words.append(w);
    }
    tlsFailure_ = words.join(QStringLiteral(" and "));
}

void SessionSocket::onError(QAbstractSocket::SocketError error) {
    if (closing_)
        return;
    if (handshaking_ && tlsFailure_.isEmpty())
        tlsFailure_ = error == QAbstractSocket::RemoteHostClosedError
                          ? QStringLiteral("the server closed the connection during the TLS "
                                           "handshake")
                          : QStringLiteral("the TLS handshake failed (") + socket_.errorString() +
                                QLatin1Char(')');
    // A peer's close is a state, not an error: the session reports it as such.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        peerClosed_ = true;
        return;
    }
    failed_ = true;
    lastError_ = socket_.errorString();
    emit errorOccurred(lastError_);
}
