#pragma once

// A port on 127.0.0.1 with a full queue: a client stays "connecting" until it gives up.

#include <QTcpServer>
#include <QTcpSocket>

class StalledListener {
public:
    // A backlog of 0 holds one connection that is never accepted; the filler takes it,
    // and the kernel drops the handshakes of every later client.
    StalledListener() {
        listener_.setListenBacklogSize(0);
        listener_.listen(QHostAddress::LocalHost, 0); // if it fails, so does the filler
        listener_.pauseAccepting();
        filler_.connectToHost(QHostAddress::LocalHost, port());
        if (!filler_.waitForConnected(5000))
            qFatal("StalledListener: cannot fill a queue on 127.0.0.1");
    }

    [[nodiscard]] quint16 port() const { return listener_.serverPort(); }

private:
    QTcpServer listener_;
    QTcpSocket filler_;
};
