#include "LineServer.h"

#include <QTcpSocket>

LineServer::LineServer(Factory factory, quint16 port, QObject* parent)
    : QObject(parent), factory_(std::move(factory)) {
    connect(&server_, &QTcpServer::newConnection, this, &LineServer::accept);
    server_.listen(QHostAddress::LocalHost, port);
}

void LineServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        std::shared_ptr<LineSession> session = factory_(*socket);
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, session, received] {
            received->append(socket->readAll());
            qsizetype end;
            while ((end = received->indexOf("\r\n")) >= 0 &&
                   socket->state() == QAbstractSocket::ConnectedState) {
                const QByteArray line = received->left(end);
                received->remove(0, end + 2);
                session->line(*socket, line);
            }
        });
        connect(socket, &QTcpSocket::disconnected, socket, [socket, session] {
            session->closed();
            socket->deleteLater();
        });
    }
}
