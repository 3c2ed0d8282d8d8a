#pragma once

// A small POP3 server with real maildrops: USER, PASS, STAT, LIST, UIDL, RETR, DELE,
// NOOP, RSET and QUIT in any case. Deletions take effect at QUIT, as POP3 has it.

#include "LineServer.h"

#include <QHash>
#include <QList>

class Pop3Mailbox : public QObject {
    Q_OBJECT

public:
    explicit Pop3Mailbox(quint16 port = 0, QObject* parent = nullptr);

    void addMailbox(const QByteArray& user, const QByteArray& password,
                    const QList<QByteArray>& messages);
    [[nodiscard]] QList<QByteArray> messages(const QByteArray& user) const;
    [[nodiscard]] quint16 port() const { return server_.port(); }
    [[nodiscard]] bool listening() const { return server_.listening(); }

private:
    class Session;
    struct Drop {
        QByteArray password;
        QList<QByteArray> messages;
        QList<QByteArray> ids; // the unique ID of each message
    };

    QHash<QByteArray, Drop> drops_;
    int added_ = 0;
    LineServer server_;
};
