#include "ScriptedServer.h"

#include <QTimer>
#include <algorithm>

static QByteArray WithoutLineEnd(const QByteArray& line) { // it ends with '\n'
    return line.chopped(line.endsWith("\r\n") ? 2 : 1);
}

ScriptedServer::ScriptedServer(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (auto* socket = static_cast<QSslSocket*>(server_.nextPendingConnection())) {
            Connection& c = connections_.emplace_back(
                std::min(connections_.size(), scenarios_.size() - 1), socket);
            // A piece sent right after another must not wait for the client's delayed ACK.
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(socket, &QTcpSocket::readyRead, this, [this, &c] {
                QList<QByteArray> batch;
                c.received += c.socket->readAll();
                for (qsizetype eol; (eol = c.received.indexOf('\n')) >= 0;) {
                    const QByteArray raw = c.received.left(eol + 1);
                    c.received.remove(0, eol + 1);
                    const auto rule = answers_.constFind(batch.emplace_back(WithoutLineEnd(raw)));
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
        c.halted = got != line;
        if (c.halted)
            mismatches_.append(QString("expected \"" + line + "\", got \"" + got + '"'));
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
