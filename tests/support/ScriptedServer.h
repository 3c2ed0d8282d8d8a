#pragma once

// A POP3 or SMTP server that plays a scenario on 127.0.0.1 and records what the client
// says. Every connection plays the scenario from its start, or its own scenario when
// nextConnection() divides them; after the last step the server stays silent, keeps the
// connection open and goes on recording. It runs on the event loop of the thread that
// created it.
//
//     ScriptedServer pop;
//     pop.reply("+OK ready").expect("USER bob").reply("+OK").expectPrefix("PASS ")
//         .sendPieces({"-ERR wro", "ng password\r\n"}, 50).close();

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;

class ScriptedServer : public QObject {
    Q_OBJECT

public:
    explicit ScriptedServer(QObject* parent = nullptr);
    ~ScriptedServer() override;

    [[nodiscard]] quint16 port() const { return server_.serverPort(); }

    // The next client line must be exactly this (without its CR LF).
    ScriptedServer& expect(const QByteArray& line);
    ScriptedServer& expectPrefix(const QByteArray& prefix);
    // Takes client lines up to and including a line holding only "."; see messages().
    ScriptedServer& expectMessage();
    // Sends the line followed by CR LF.
    ScriptedServer& reply(const QByteArray& line);
    // Sends the bytes exactly as given: a message, or part of a reply.
    ScriptedServer& send(const QByteArray& bytes);
    ScriptedServer& sendFile(const QString& path);
    // Sends the pieces one by one with a pause between them.
    ScriptedServer& sendPieces(const QList<QByteArray>& pieces, int pauseMs);
    ScriptedServer& pause(int ms);
    ScriptedServer& close();
    // Runs action when the scenario gets there (to stop the client at a chosen step).
    ScriptedServer& call(std::function<void()> action);
    // The server's side of a TLS handshake, with the certificate given to useTls(); what
    // follows goes through TLS.
    ScriptedServer& startTls();
    // The certificate and key (PEM files) for startTls().
    void useTls(const QString& certificate, const QString& key);
    // The steps that follow make the scenario of the next connection; the last scenario
    // serves every later one.
    ScriptedServer& nextConnection();
    // A client line equal to line is answered with reply (CR LF added) wherever it comes,
    // outside the scenario, except inside a message; it is still recorded.
    ScriptedServer& answer(const QByteArray& line, const QByteArray& reply);

    // Every line the clients sent, without line ends, in order of arrival.
    [[nodiscard]] QList<QByteArray> lines() const { return lines_; }
    // The same lines grouped by the read that brought them: commands a client sent
    // together arrive together.
    [[nodiscard]] QList<QList<QByteArray>> batches() const { return batches_; }
    // The texts taken by expectMessage(), exactly as sent, final "." line included.
    [[nodiscard]] QList<QByteArray> messages() const { return messages_; }
    // Lines that did not match what the scenario expected; it stops playing there.
    [[nodiscard]] QStringList mismatches() const { return mismatches_; }
    [[nodiscard]] int connections() const { return static_cast<int>(connections_.size()); }
    // Whether the latest connection has played every step.
    [[nodiscard]] bool finished() const;

private:
    struct Step {
        enum Kind { Expect, ExpectPrefix, ExpectMessage, Send, Pause, Close, Call, StartTls } kind;
        QByteArray bytes;
        int ms = 0;
        std::function<void()> action = {};
    };
    using Scenario = std::vector<Step>;
    struct Connection {
        size_t scenario = 0;
        QPointer<QTcpSocket> socket;
        QByteArray received;       // not yet a whole line
        QList<QByteArray> pending; // whole lines, line end included, not yet taken
        QByteArray message;
        qsizetype step = 0;
        bool pausing = false;
    };

    ScriptedServer& add(Step step);
    void accept();
    void read(Connection& c);
    void play(Connection& c);
    // False when the step must wait for more client lines.
    bool takeLine(Connection& c, const Step& step);
    [[nodiscard]] bool answered(Connection& c, const QByteArray& line);
    [[nodiscard]] const Scenario& scenarioOf(const Connection& c) const {
        return scenarios_[c.scenario];
    }

    // Accepts every connection as a QSslSocket, plain until startTls().
    class Listener : public QTcpServer {
    public:
        using QTcpServer::QTcpServer;

    protected:
        void incomingConnection(qintptr descriptor) override;
    };

    Listener server_;
    QString certificate_;
    QString key_;
    std::vector<Scenario> scenarios_{1};
    QList<std::pair<QByteArray, QByteArray>> answers_;
    std::vector<std::unique_ptr<Connection>> connections_;
    QList<QByteArray> lines_;
    QList<QList<QByteArray>> batches_;
    QList<QByteArray> messages_;
    QStringList mismatches_;
};
