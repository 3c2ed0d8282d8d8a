#include "ScriptedServer.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>

struct ScriptedServer::Connection {
    size_t scenario = 0; // in scenarios_
    QPointer<QSslSocket> socket;
    QByteArray received;       // not yet a whole line
    QList<QByteArray> pending; // whole lines, line end included, not yet taken
    QByteArray message;
    size_t step = 0;
    bool inMessage = false;
    bool halted = false; // pausing, or stopped by a mismatch
};

static QByteArray WithoutLineEnd(const QByteArray& line) { // it ends with '\n'
    return line.chopped(line.endsWith("\r\n") ? 2 : 1);
}

ScriptedServer::ScriptedServer(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (auto* socket = static_cast<QSslSocket*>(server_.nextPendingConnection())) {
            auto& c = *connections_.emplace_back(std::make_unique<Connection>());
            c.scenario = std::min(connections_.size(), scenarios_.size()) - 1;
            c.socket = socket;
            // A piece sent right after another must not wait for the client's delayed ACK.
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(socket, &QTcpSocket::readyRead, this, [this, &c] {
                QList<QByteArray> batch;
                c.received += c.socket->readAll();
                for (qsizetype eol; (eol = c.received.indexOf('\n')) >= 0;) {
                    const QByteArray raw = c.received.left(eol + 1);
                    c.received.remove(0, eol + 1);
                    batch.append(WithoutLineEnd(raw));
                    const auto rule = answers_.constFind(batch.last());
                    if (c.inMessage || rule == answers_.cend())
                        c.pending.append(raw);
                    else
                        c.socket->write(*rule);
                }
                lines_ += batch;
                if (!batch.isEmpty())
                    batches_.append(batch);
                play(c);
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            play(c);
        }
    });
    if (!server_.listen(QHostAddress::LocalHost, 0))
        qFatal("ScriptedServer: cannot listen on 127.0.0.1: %s", qPrintable(server_.errorString()));
}

ScriptedServer::~ScriptedServer() = default;

void ScriptedServer::Listener::incomingConnection(qintptr descriptor) {
    auto* socket = new QSslSocket(this);
    if (socket->setSocketDescriptor(descriptor))
        addPendingConnection(socket);
    else
        delete socket;
}

ScriptedServer& ScriptedServer::add(Step step) {
    scenarios_.back().push_back(std::move(step));
    return *this;
}

void ScriptedServer::play(Connection& c) {
    while (!c.halted && c.socket && c.step < scenarios_[c.scenario].size() &&
           scenarios_[c.scenario][c.step](c))
        ++c.step;
}

ScriptedServer& ScriptedServer::expect(const QByteArray& line) {
    return add([this, line](Connection& c) {
        if (c.pending.isEmpty())
            return false;
        const QByteArray got = WithoutLineEnd(c.pending.takeFirst());
        if (got != line) {
            mismatches_.append(QStringLiteral("expected \"%1\", got \"%2\"")
                                   .arg(QString::fromLatin1(line), QString::fromLatin1(got)));
            c.halted = true;
        }
        return true;
    });
}

ScriptedServer& ScriptedServer::expectMessage() {
    return add([this](Connection& c) {
        c.inMessage = true;
        while (!c.pending.isEmpty()) {
            c.message += c.pending.first();
            if (WithoutLineEnd(c.pending.takeFirst()) == ".") {
                messages_.append(std::exchange(c.message, {}));
                c.inMessage = false;
                return true;
            }
        }
        return false;
    });
}

ScriptedServer& ScriptedServer::pause(int ms) {
    return add([this, ms](Connection& c) {
        c.halted = true;
        QTimer::singleShot(ms, this, [this, &c] {
            c.halted = false;
            play(c);
        });
        return true;
    });
}

ScriptedServer& ScriptedServer::act(const std::function<void(QSslSocket&)>& action) {
    return add([action](Connection& c) {
        action(*c.socket);
        return true;
    });
}

ScriptedServer& ScriptedServer::startTls(const QString& certificate, const QString& key) {
    return act([certificate, key](QSslSocket& s) {
        s.setLocalCertificate(certificate);
        s.setPrivateKey(key, QSsl::Ec);
        s.startServerEncryption();
    });
}
