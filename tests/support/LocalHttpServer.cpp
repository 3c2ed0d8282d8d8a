#include "LocalHttpServer.h"

#include <QTcpSocket>

LocalHttpServer::LocalHttpServer() {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void LocalHttpServer::serve(const QString& path, const QByteArray& body, int status) {
    answers_[path] = {status, body, false};
}

void LocalHttpServer::stall(const QString& path) {
    answers_[path] = {200, {}, true};
}

QUrl LocalHttpServer::url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
}

void LocalHttpServer::answer(QTcpSocket* socket) {
    if (!socket->canReadLine())
        return;
    const QList<QByteArray> request = socket->readLine().split(' ');
    const QString path = request.size() > 1 ? QString::fromLatin1(request.at(1)) : QString();
    requested_.append(path);
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr); // one request per connection
    socket->readAll();
    const auto found = answers_.constFind(path);
    if (found != answers_.constEnd() && found->stall)
        return;
    const Answer a = found != answers_.constEnd() ? *found : Answer{404, "not found", false};
    socket->write("HTTP/1.0 " + QByteArray::number(a.status) + " X\r\nContent-Length: " +
                  QByteArray::number(a.body.size()) + "\r\nConnection: close\r\n\r\n" + a.body);
    socket->disconnectFromHost();
}
