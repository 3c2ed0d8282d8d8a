#pragma once

// A POP3 or SMTP server on 127.0.0.1 that plays a scenario to each connection and records
// what the clients say; after the last step it stays silent. It runs on its thread's loop.

#include <QHash>
#include <QPointer>
#include <QSslSocket>
#include <QStringList>
#include <QTcpServer>
#include <functional>
#include <list>
#include <vector>

class ScriptedServer : public QObject {
    Q_OBJECT

public:
    explicit ScriptedServer(QObject* parent = nullptr);

    [[nodiscard]] quint16 port() const { return server_.serverPort(); }

    // The next client line must be exactly this (without its CR LF).
    ScriptedServer& expect(const QByteArray& line);
    // Takes client lines up to and including a line holding only "."; see messages().
    ScriptedServer& expectMessage();
    ScriptedServer& reply(const QByteArray& line) { return send(line + "\r\n"); }
    // The bytes exactly as given: a message, or part of a reply.
    ScriptedServer& send(const QByteArray& bytes) {
        return act([bytes](QSslSocket& s) { s.write(bytes); });
    }
    // The steps after it wait this long: a reply sent in pieces.
    ScriptedServer& pause(int ms);
    ScriptedServer& close() {
        return act([](QSslSocket& s) { s.disconnectFromHost(); });
    }
    // Runs action when the scenario gets there (to stop the client at a chosen step).
    ScriptedServer& call(const std::function<void()>& action) {
        return act([action](QSslSocket&) { action(); });
    }
    // The server's side of a TLS handshake, with these PEM files.
    ScriptedServer& startTls(const QString& certificate, const QString& key) {
        return act([certificate, key](QSslSocket& s) {
            s.setLocalCertificate(certificate);
            s.setPrivateKey(key, QSsl::Ec);
            s.startServerEncryption();
        });
    }
    // The steps that follow make the next connection's scenario; the last serves the rest.
    ScriptedServer& nextConnection() {
        scenarios_.emplace_back();
        return *this;
    }
    // Answers line wherever it comes, outside the scenario and messages; the latest rule wins.
    ScriptedServer& answer(const QByteArray& line, const QByteArray& reply) {
        answers_.insert(line, reply + "\r\n");
        return *this;
    }

    // Every client line without its end, in order; batches(): grouped by the read bringing them.
    [[nodiscard]] QList<QByteArray> lines() const { return lines_; }
    [[nodiscard]] QList<QList<QByteArray>> batches() const { return batches_; }
    // The texts taken by expectMessage(), exactly as sent, final "." line included.
    [[nodiscard]] QList<QByteArray> messages() const { return messages_; }
    // Lines that did not match the scenario; it stops playing there.
    [[nodiscard]] QStringList mismatches() const { return mismatches_; }

private:
    struct Connection {
        size_t scenario = 0; // in scenarios_
        QPointer<QSslSocket> socket;
        QByteArray received;       // not yet a whole line
        QList<QByteArray> pending; // whole lines, line end included, not yet taken
        QByteArray message;
        size_t step = 0;
        bool inMessage = false;
        bool halted = false; // pausing, or stopped by a mismatch
    };
    // Returns false while it waits for the client.
    using Step = std::function<bool(Connection&)>;
    ScriptedServer& add(Step step) {
        scenarios_.back().push_back(std::move(step));
        return *this;
    }
    ScriptedServer& act(const std::function<void(QSslSocket&)>& action) {
        return add([action](Connection& c) {
            action(*c.socket);
            return true;
        });
    }
    void play(Connection& c);

    class Listener : public QTcpServer { // every connection a QSslSocket, plain until startTls()
        void incomingConnection(qintptr descriptor) override {
            auto* socket = new QSslSocket(this);
            socket->setSocketDescriptor(descriptor); // fails only for a bad descriptor
            addPendingConnection(socket);
        }
    };

    Listener server_;
    std::vector<std::vector<Step>> scenarios_{1};
    QHash<QByteArray, QByteArray> answers_;
    std::list<Connection> connections_; // they stay where they are
    QList<QByteArray> lines_;
    QList<QList<QByteArray>> batches_;
    QList<QByteArray> messages_;
    QStringList mismatches_;
};
