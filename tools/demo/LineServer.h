#pragma once

// The common part of the stateful loopback servers: accepts connections on 127.0.0.1,
// splits what each client sends into lines and hands them to a session object.

#include <QObject>
#include <QTcpServer>

#include <functional>
#include <memory>

class QTcpSocket;

class LineSession {
public:
    virtual ~LineSession() = default;
    // A whole line, without its CR LF. Write answers to the socket.
    virtual void line(QTcpSocket& socket, const QByteArray& line) = 0;
    // The client went away.
    virtual void closed() {}
};

class LineServer : public QObject {
    Q_OBJECT

public:
    using Factory = std::function<std::unique_ptr<LineSession>(QTcpSocket& socket)>;

    // port 0 picks a free one.
    LineServer(Factory factory, quint16 port = 0, QObject* parent = nullptr);

    [[nodiscard]] bool listening() const { return server_.isListening(); }
    [[nodiscard]] quint16 port() const { return server_.serverPort(); }
    [[nodiscard]] QString errorString() const { return server_.errorString(); }

private:
    void accept();

    Factory factory_;
    QTcpServer server_;
};
