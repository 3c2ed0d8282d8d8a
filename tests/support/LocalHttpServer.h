#pragma once

// A minimal HTTP/1.0 server on a loopback port: serves fixed answers by path, and can
// hold a request open without answering. It lives in the thread that creates it.

#include <QHash>
#include <QTcpServer>
#include <QUrl>

class LocalHttpServer : public QObject {
    Q_OBJECT

public:
    LocalHttpServer();

    void serve(const QString& path, const QByteArray& body, int status = 200);
    void stall(const QString& path); // accept, read, never answer

    [[nodiscard]] QUrl url(const QString& path = QString()) const;
    [[nodiscard]] QStringList requestedPaths() const { return requested_; }

private:
    void answer(QTcpSocket* socket);

    struct Answer {
        int status = 200;
        QByteArray body;
        bool stall = false;
    };
    QTcpServer server_;
    QHash<QString, Answer> answers_;
    QStringList requested_;
};
