#include "DelayRelay.h"

#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <memory>

DelayRelay::DelayRelay(quint16 upstream, int oneWayMs, QObject* parent)
    : QObject(parent), upstream_(upstream), oneWayMs_(oneWayMs) {
    clock_.start();
    connect(&server_, &QTcpServer::newConnection, this, &DelayRelay::accept);
    server_.listen(QHostAddress::LocalHost, 0);
}

void DelayRelay::accept() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        auto* upstream = new QTcpSocket(client);
        for (QTcpSocket* s : {client, upstream})
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        delay(client, upstream);
        delay(upstream, client);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        upstream->connectToHost(QHostAddress::LocalHost, upstream_);
    }
}

void DelayRelay::delay(QTcpSocket* from, QTcpSocket* to) {
    struct Pending {
        std::deque<std::pair<qint64, QByteArray>> pieces; // due time, bytes
        bool closed = false;
    };
    auto pending = std::make_shared<Pending>();
    auto* timer = new QTimer(from);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    const auto flush = [this, pending, timer, to] {
        const qint64 now = clock_.elapsed();
        while (!pending->pieces.empty() && pending->pieces.front().first <= now) {
            to->write(pending->pieces.front().second);
            pending->pieces.pop_front();
        }
        if (!pending->pieces.empty())
            timer->start(int(pending->pieces.front().first - now));
        else if (pending->closed)
            to->disconnectFromHost();
    };
    connect(timer, &QTimer::timeout, from, flush);
    connect(from, &QTcpSocket::readyRead, from, [this, pending, timer, from, flush] {
        pending->pieces.emplace_back(clock_.elapsed() + oneWayMs_, from->readAll());
        if (!timer->isActive())
            flush();
    });
    connect(from, &QTcpSocket::disconnected, from, [pending, flush] {
        pending->closed = true;
        flush();
    });
}
