#pragma once

// A TCP relay on 127.0.0.1 that holds every piece for a fixed time in each direction
// before passing it on: a server on loopback made to answer like one across the Internet.

#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>

class DelayRelay : public QObject {
    Q_OBJECT

public:
    DelayRelay(quint16 upstream, int oneWayMs, QObject* parent = nullptr);
    [[nodiscard]] quint16 port() const { return server_.serverPort(); }

private:
    void accept();
    // Passes what arrives on from to to, oneWayMs later, in order.
    void delay(class QTcpSocket* from, class QTcpSocket* to);

    QTcpServer server_;
    const quint16 upstream_;
    const int oneWayMs_;
    QElapsedTimer clock_;
};
