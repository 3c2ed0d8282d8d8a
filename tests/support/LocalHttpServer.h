#pragma once

// A minimal HTTP/1.0 server on a loopback port: serves fixed answers by path, and can
// hold a request open without answering. It lives in the thread that creates it.

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

class LocalHttpServer : public QObject {
public:
    LocalHttpServer() {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    void serve(const QString& path, const QByteArray& body, int status = 200) {
        answers_[path] = {status, body};
    }
    void stall(const QString& path) { serve(path, {}, 0); } // accept, read, never answer

    [[nodiscard]] QUrl url(const QString& path = QString()) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }
    [[nodiscard]] QStringList requestedPaths() const { return requested_; }

private:
    void answer(QTcpSocket* socket) {
        if (!socket->canReadLine())
            return;
        const QString path = QString::fromLatin1(socket->readLine().split(' ').value(1));
        requested_.append(path);
        disconnect(socket, &QTcpSocket::readyRead, this, nullptr); // one request per connection
        socket->readAll();
        const auto [status, body] = answers_.value(path, {404, "not found"});
        if (status == 0)
            return;
        socket->write("HTTP/1.0 " + QByteArray::number(status) + " X\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QHash<QString, std::pair<int, QByteArray>> answers_;
    QStringList requested_;
};

// Points the Internet probe at a port of this machine.
inline void ProbeAt(quint16 port) {
    qputenv("HOLLIMERE_PROBE_URL", "http://127.0.0.1:" + QByteArray::number(port) + "/");
}
