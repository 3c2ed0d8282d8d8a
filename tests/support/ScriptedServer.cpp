#include "ScriptedServer.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>

namespace {

QByteArray WithoutLineEnd(QByteArray line) {
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

ScriptedServer::ScriptedServer(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedServer::accept);
    if (!server_.listen(QHostAddress::LocalHost, 0))
        qFatal("ScriptedServer: cannot listen on 127.0.0.1: %s", qPrintable(server_.errorString()));
}

ScriptedServer::~ScriptedServer() {
    for (const auto& c : connections_) {
        if (c->socket)
            c->socket->abort();
    }
}

ScriptedServer& ScriptedServer::add(Step step) {
    scenarios_.back().push_back(std::move(step));
    return *this;
}

ScriptedServer& ScriptedServer::nextConnection() {
    scenarios_.emplace_back();
    return *this;
}

ScriptedServer& ScriptedServer::answer(const QByteArray& line, const QByteArray& reply) {
    answers_.append({line, reply + "\r\n"});
    return *this;
}

ScriptedServer& ScriptedServer::expect(const QByteArray& line) {
    return add({Step::Expect, line});
}

ScriptedServer& ScriptedServer::expectPrefix(const QByteArray& prefix) {
    return add({Step::ExpectPrefix, prefix});
}

ScriptedServer& ScriptedServer::expectMessage() {
    return add({Step::ExpectMessage, {}});
}

ScriptedServer& ScriptedServer::reply(const QByteArray& line) {
    return add({Step::Send, line + "\r\n"});
}

ScriptedServer& ScriptedServer::send(const QByteArray& bytes) {
    return add({Step::Send, bytes});
}

ScriptedServer& ScriptedServer::sendFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("ScriptedServer: cannot read %s", qPrintable(path));
    return send(file.readAll());
}

ScriptedServer& ScriptedServer::sendPieces(const QList<QByteArray>& pieces, int pauseMs) {
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            pause(pauseMs);
        send(pieces[i]);
    }
    return *this;
}

ScriptedServer& ScriptedServer::pause(int ms) {
    return add({Step::Pause, {}, ms});
}

ScriptedServer& ScriptedServer::close() {
    return add({Step::Close, {}});
}

ScriptedServer& ScriptedServer::call(std::function<void()> action) {
    return add({Step::Call, {}, 0, std::move(action)});
}

ScriptedServer& ScriptedServer::startTls() {
    return add({Step::StartTls, {}});
}

void ScriptedServer::useTls(const QString& certificate, const QString& key) {
    certificate_ = certificate;
    key_ = key;
}

void ScriptedServer::Listener::incomingConnection(qintptr descriptor) {
    auto* socket = new QSslSocket(this);
    if (socket->setSocketDescriptor(descriptor))
        addPendingConnection(socket);
    else
        delete socket;
}

bool ScriptedServer::finished() const {
    return !connections_.empty() &&
           connections_.back()->step >=
               static_cast<qsizetype>(scenarioOf(*connections_.back()).size());
}

void ScriptedServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connections_.push_back(std::make_unique<Connection>());
        Connection* c = connections_.back().get();
        c->scenario = std::min(connections_.size(), scenarios_.size()) - 1;
        c->socket = socket;
        // A piece sent right after another must not wait for the client's delayed ACK.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { read(*c); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        play(*c);
    }
}

void ScriptedServer::read(Connection& c) {
    const qsizetype scanned = c.received.size();
    c.received += c.socket->readAll();
    qsizetype start = 0;
    QList<QByteArray> batch;
    for (qsizetype eol = c.received.indexOf('\n', scanned); eol >= 0;
         eol = c.received.indexOf('\n', start)) {
        const QByteArray line = c.received.sliced(start, eol + 1 - start);
        start = eol + 1;
        lines_.append(WithoutLineEnd(line));
        batch.append(WithoutLineEnd(line));
        if (!answered(c, WithoutLineEnd(line)))
            c.pending.append(line);
    }
    c.received.remove(0, start);
    if (!batch.isEmpty())
        batches_.append(batch);
    play(c);
}

bool ScriptedServer::answered(Connection& c, const QByteArray& line) {
    const bool inMessage = !c.message.isEmpty() ||
                           (c.step < static_cast<qsizetype>(scenarioOf(c).size()) &&
                            scenarioOf(c)[static_cast<size_t>(c.step)].kind == Step::ExpectMessage);
    if (inMessage)
        return false;
    for (const auto& [expected, reply] : answers_) {
        if (line == expected) {
            c.socket->write(reply);
            return true;
        }
    }
    return false;
}

bool ScriptedServer::takeLine(Connection& c, const Step& step) {
    while (!c.pending.isEmpty()) {
        const QByteArray raw = c.pending.takeFirst();
        const QByteArray line = WithoutLineEnd(raw);
        if (step.kind == Step::ExpectMessage) {
            c.message += raw;
            if (line != ".")
                continue;
            messages_.append(std::exchange(c.message, {}));
            return true;
        }
        const bool match =
            step.kind == Step::Expect ? line == step.bytes : line.startsWith(step.bytes);
        if (!match) {
            mismatches_.append(QStringLiteral("expected %1\"%2\", got \"%3\"")
                                   .arg(step.kind == Step::Expect ? "" : "a line starting ",
                                        QString::fromLatin1(step.bytes),
                                        QString::fromLatin1(line)));
            c.step = static_cast<qsizetype>(scenarioOf(c).size());
            return false;
        }
        return true;
    }
    return false;
}

void ScriptedServer::play(Connection& c) {
    while (!c.pausing && c.socket && c.step < static_cast<qsizetype>(scenarioOf(c).size())) {
        const Step& step = scenarioOf(c)[static_cast<size_t>(c.step)];
        switch (step.kind) {
        case Step::Expect:
        case Step::ExpectPrefix:
        case Step::ExpectMessage:
            if (!takeLine(c, step))
                return;
            break;
        case Step::Send:
            c.socket->write(step.bytes);
            c.socket->flush();
            break;
        case Step::Pause:
            c.pausing = true;
            QTimer::singleShot(step.ms, this, [this, &c] {
                c.pausing = false;
                play(c);
            });
            ++c.step;
            return;
        case Step::Close:
            c.socket->disconnectFromHost();
            ++c.step;
            return;
        case Step::Call:
            step.action();
            break;
        case Step::StartTls: {
            auto* ssl = qobject_cast<QSslSocket*>(c.socket.data());
            ssl->setLocalCertificate(certificate_);
            ssl->setPrivateKey(key_, QSsl::Ec);
            ssl->startServerEncryption();
            break;
        }
        }
        ++c.step;
    }
}
