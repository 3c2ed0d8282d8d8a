#pragma once

// A POP3 or SMTP server that plays a scenario on 127.0.0.1 and records what the client
// says. Every connection plays the scenario from its start, or its own scenario when
// nextConnection() divides them; after the last step the server stays silent, keeps the
// connection open and goes on recording. It runs on the event loop of its thread.
//
//     pop.reply("+OK ready").expect("USER bob").sendPieces({"-ERR wro", "ng\r\n"}, 50).close();

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QSslSocket>
#include <QStringList>
#include <QTcpServer>
#include <functional>
#include <memory>
#include <vector>

class ScriptedServer : public QObject {
    Q_OBJECT

public:
    explicit ScriptedServer(QObject* parent = nullptr);
    ~ScriptedServer() override;

    [[nodiscard]] quint16 port() const { return server_.serverPort(); }

    // The next client line must be exactly this (without its CR LF).
    ScriptedServer& expect(const QByteArray& line) { return add({Step::Expect, line}); }
    // Takes client lines up to and including a line holding only "."; see messages().
    ScriptedServer& expectMessage() { return add({Step::ExpectMessage, {}}); }
    ScriptedServer& reply(const QByteArray& line) { return send(line + "\r\n"); }
    // The bytes exactly as given: a message, or part of a reply.
    ScriptedServer& send(const QByteArray& bytes);
    ScriptedServer& sendPieces(const QList<QByteArray>& pieces, int pauseMs);
    ScriptedServer& pause(int ms) { return add({Step::Pause, {}, ms}); }
    ScriptedServer& close() {
        return act([](QSslSocket& s) { s.disconnectFromHost(); });
    }
    // Runs action when the scenario gets there (to stop the client at a chosen step).
    ScriptedServer& call(const std::function<void()>& action) {
        return act([action](QSslSocket&) { action(); });
    }
    // The server's side of a TLS handshake with the certificate given to useTls().
    ScriptedServer& startTls();
    void useTls(const QString& certificate, const QString& key) {
        certificate_ = certificate;
        key_ = key;
    }
    // The steps that follow make the scenario of the next connection; the last scenario
    // serves every later one.
    ScriptedServer& nextConnection() {
        scenarios_.push_back(std::make_unique<Scenario>());
        return *this;
    }
    // A client line equal to line is answered with reply (CR LF added) wherever it comes,
    // outside the scenario, except inside a message; it is still recorded. The latest rule
    // for a line wins.
    ScriptedServer& answer(const QByteArray& line, const QByteArray& reply) {
        answers_.append({line, reply + "\r\n"});
        return *this;
    }

    // Every line the clients sent, without line ends, in order of arrival.
    [[nodiscard]] QList<QByteArray> lines() const { return lines_; }
    // The same lines grouped by the read that brought them.
    [[nodiscard]] QList<QList<QByteArray>> batches() const { return batches_; }
    // The texts taken by expectMessage(), exactly as sent, final "." line included.
    [[nodiscard]] QList<QByteArray> messages() const { return messages_; }
    // Lines that did not match what the scenario expected; it stops playing there.
    [[nodiscard]] QStringList mismatches() const { return mismatches_; }
    [[nodiscard]] int connections() const { return int(connections_.size()); }

private:
    struct Step {
        enum Kind { Expect, ExpectMessage, Pause, Act } kind;
        QByteArray line;
        int ms = 0;
        std::function<void(QSslSocket&)> act = {};
    };
    using Scenario = std::vector<Step>;
    struct Connection {
        const Scenario* scenario = nullptr;
        QPointer<QSslSocket> socket;
        QByteArray received;       // not yet a whole line
        QList<QByteArray> pending; // whole lines, line end included, not yet taken
        QByteArray message;
        size_t step = 0;
        bool pausing = false;
        [[nodiscard]] bool done() const { return step >= scenario->size(); }
    };

    ScriptedServer& add(Step step) {
        scenarios_.back()->push_back(std::move(step));
        return *this;
    }
    ScriptedServer& act(std::function<void(QSslSocket&)> action) {
        return add({Step::Act, {}, 0, std::move(action)});
    }
    void accept();
    void read(Connection& c);
    void play(Connection& c);
    bool takeLine(Connection& c, const Step& step);

    // Accepts every connection as a QSslSocket, plain until startTls().
    class Listener : public QTcpServer {
    protected:
        void incomingConnection(qintptr descriptor) override;
    };

    Listener server_;
    QString certificate_;
    QString key_;
    std::vector<std::unique_ptr<Scenario>> scenarios_;
    QList<std::pair<QByteArray, QByteArray>> answers_;
    std::vector<std::unique_ptr<Connection>> connections_;
    QList<QByteArray> lines_;
    QList<QList<QByteArray>> batches_;
    QList<QByteArray> messages_;
    QStringList mismatches_;
};
