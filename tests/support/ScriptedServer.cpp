#include "ScriptedServer.h"

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
    scenarios_.push_back(std::make_unique<Scenario>());
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

ScriptedServer& ScriptedServer::send(const QByteArray& bytes) {
    return act([bytes](QSslSocket& s) {
        s.write(bytes);
        s.flush();
    });
}

ScriptedServer& ScriptedServer::sendPieces(const QList<QByteArray>& pieces, int pauseMs) {
    for (qsizetype i = 0; i < pieces.size(); ++i)
        (i > 0 ? pause(pauseMs) : *this).send(pieces[i]);
    return *this;
}

ScriptedServer& ScriptedServer::startTls() {
    return act([this](QSslSocket& s) {
        s.setLocalCertificate(certificate_);
        s.setPrivateKey(key_, QSsl::Ec);
        s.startServerEncryption();
    });
}

void ScriptedServer::Listener::incomingConnection(qintptr descriptor) {
    auto* socket = new QSslSocket(this);
    if (socket->setSocketDescriptor(descriptor))
        addPendingConnection(socket);
    else
        delete socket;
}

void ScriptedServer::accept() {
    while (auto* socket = static_cast<QSslSocket*>(server_.nextPendingConnection())) {
        const size_t n = std::min(connections_.size(), scenarios_.size() - 1);
        Connection* c = connections_.emplace_back(std::make_unique<Connection>()).get();
        c->scenario = scenarios_[n].get();
        c->socket = socket;
        // A piece sent right after another must not wait for the client's delayed ACK.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { read(*c); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        play(*c);
    }
}

void ScriptedServer::read(Connection& c) {
    qsizetype from = c.received.size();
    c.received += c.socket->readAll();
    QList<QByteArray> batch;
    for (qsizetype eol; (eol = c.received.indexOf('\n', from)) >= 0; from = 0) {
        const QByteArray raw = c.received.left(eol + 1);
        c.received.remove(0, eol + 1);
        const QByteArray line = WithoutLineEnd(raw);
        lines_.append(line);
        batch.append(line);
        // The answer rule never applies inside a message.
        const bool inMessage = !c.message.isEmpty() ||
                               (!c.done() && (*c.scenario)[c.step].kind == Step::ExpectMessage);
        const auto rule = std::find_if(answers_.crbegin(), answers_.crend(),
                                       [&line](const auto& a) { return a.first == line; });
        if (inMessage || rule == answers_.crend())
            c.pending.append(raw);
        else
            c.socket->write(rule->second);
    }
    if (!batch.isEmpty())
        batches_.append(batch);
    play(c);
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
        if (line == step.line)
            return true;
        mismatches_.append(QStringLiteral("expected \"%1\", got \"%2\"")
                               .arg(QString::fromLatin1(step.line), QString::fromLatin1(line)));
        c.step = c.scenario->size();
        return false;
    }
    return false;
}

void ScriptedServer::play(Connection& c) {
    while (!c.pausing && c.socket && !c.done()) {
        const Step& step = (*c.scenario)[c.step];
        if (step.kind == Step::Act) {
            step.act(*c.socket);
        } else if (step.kind == Step::Pause) {
            c.pausing = true;
            QTimer::singleShot(step.ms, this, [this, &c] {
                c.pausing = false;
                play(c);
            });
        } else if (!takeLine(c, step)) {
            return;
        }
        ++c.step;
    }
}
