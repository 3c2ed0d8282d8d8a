#include "Pop3Mailbox.h"

#include <QSet>
#include <QTcpSocket>

class Pop3Mailbox::Session final : public LineSession {
public:
    Session(Pop3Mailbox& box, QTcpSocket& socket) : box_(box) {
        socket.write("+OK Hollimere demo POP3 ready\r\n");
    }

    void line(QTcpSocket& s, const QByteArray& line) override {
        const qsizetype blank = line.indexOf(' ');
        const QByteArray verb = (blank < 0 ? line : line.left(blank)).toUpper();
        const QByteArray arg = blank < 0 ? QByteArray() : line.mid(blank + 1);
        if (verb == "QUIT") {
            if (drop_) {
                QList<QByteArray> kept;
                QList<QByteArray> keptIds;
                for (qsizetype i = 0; i < drop_->messages.size(); ++i)
                    if (!deleted_.contains(int(i) + 1)) {
                        kept.append(drop_->messages.at(i));
                        keptIds.append(drop_->ids.at(i));
                    }
                drop_->messages = kept;
                drop_->ids = keptIds;
            }
            s.write("+OK bye\r\n");
            s.disconnectFromHost();
        } else if (verb == "NOOP") {
            s.write("+OK\r\n");
        } else if (verb == "USER") {
            user_ = arg;
            s.write("+OK\r\n");
        } else if (verb == "PASS") {
            const auto found = box_.drops_.find(user_);
            if (found == box_.drops_.end() || found->password != arg) {
                s.write("-ERR invalid user name or password\r\n");
            } else {
                drop_ = &*found;
                s.write("+OK logged in\r\n");
            }
        } else if (!drop_) {
            s.write("-ERR log in first\r\n");
        } else if (verb == "STAT") {
            qsizetype count = 0, size = 0;
            for (int n = 1; n <= drop_->messages.size(); ++n)
                if (!deleted_.contains(n)) {
                    ++count;
                    size += drop_->messages.at(n - 1).size();
                }
            s.write("+OK " + QByteArray::number(count) + ' ' + QByteArray::number(size) + "\r\n");
        } else if (verb == "UIDL" && arg.isEmpty()) {
            QByteArray list = "+OK\r\n";
            for (int n = 1; n <= drop_->messages.size(); ++n)
                if (!deleted_.contains(n))
                    list += QByteArray::number(n) + ' ' + drop_->ids.at(n - 1) + "\r\n";
            s.write(list + ".\r\n");
        } else if (verb == "RSET") {
            deleted_.clear();
            s.write("+OK\r\n");
        } else if (const int n = message(arg); n == 0) {
            s.write("-ERR no such message\r\n");
        } else if (verb == "UIDL") {
            s.write("+OK " + QByteArray::number(n) + ' ' + drop_->ids.at(n - 1) + "\r\n");
        } else if (verb == "LIST") {
            s.write("+OK " + QByteArray::number(n) + ' ' +
                    QByteArray::number(drop_->messages.at(n - 1).size()) + "\r\n");
        } else if (verb == "RETR") {
            const QByteArray& m = drop_->messages.at(n - 1);
            s.write("+OK " + QByteArray::number(m.size()) + " octets\r\n");
            QByteArray body = m;
            if (body.startsWith('.'))
                body.prepend('.');
            body.replace("\r\n.", "\r\n..");
            if (!body.endsWith("\r\n"))
                body += "\r\n";
            s.write(body + ".\r\n");
        } else if (verb == "DELE") {
            deleted_.insert(n);
            s.write("+OK deleted\r\n");
        } else {
            s.write("-ERR unknown command\r\n");
        }
    }

private:
    // 1-based number of a message still there, else 0.
    int message(const QByteArray& arg) const {
        bool ok = false;
        const int n = arg.trimmed().toInt(&ok);
        return ok && n >= 1 && n <= drop_->messages.size() && !deleted_.contains(n) ? n : 0;
    }

    Pop3Mailbox& box_;
    QByteArray user_;
    Drop* drop_ = nullptr;
    QSet<int> deleted_;
};

Pop3Mailbox::Pop3Mailbox(quint16 port, QObject* parent)
    : QObject(parent),
      server_([this](QTcpSocket& socket) { return std::make_unique<Session>(*this, socket); },
              port) {}

void Pop3Mailbox::addMailbox(const QByteArray& user, const QByteArray& password,
                             const QList<QByteArray>& messages) {
    QList<QByteArray> ids;
    for (qsizetype i = 0; i < messages.size(); ++i)
        ids.append(user + '.' + QByteArray::number(++added_));
    drops_[user] = {password, messages, ids};
}

QList<QByteArray> Pop3Mailbox::messages(const QByteArray& user) const {
    return drops_.value(user).messages;
}
