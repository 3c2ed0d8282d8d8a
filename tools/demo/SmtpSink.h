#pragma once

// A small SMTP server that keeps what it is given: HELO/EHLO, MAIL, RCPT, DATA, NOOP,
// RSET and QUIT in any case. Chosen recipients can be refused.

#include "LineServer.h"

#include <QList>
#include <QSet>

struct Delivery {
    QByteArray sender;
    QList<QByteArray> recipients;
    QByteArray data; // as the client meant it: dot-stuffing undone, final "." line gone
};

class SmtpSink : public QObject {
    Q_OBJECT

public:
    explicit SmtpSink(quint16 port = 0, QObject* parent = nullptr);

    // RCPT TO this address is answered with `reply` (for example "550 no such user").
    void refuse(const QByteArray& address, const QByteArray& reply);

    [[nodiscard]] QList<Delivery> deliveries() const { return deliveries_; }
    [[nodiscard]] quint16 port() const { return server_.port(); }
    [[nodiscard]] bool listening() const { return server_.listening(); }

signals:
    void delivered(const Delivery& delivery);

private:
    class Session;
    QHash<QByteArray, QByteArray> refusals_;
    QList<Delivery> deliveries_;
    LineServer server_;
};
