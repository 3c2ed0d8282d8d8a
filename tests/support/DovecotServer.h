#pragma once

// A private Dovecot (POP3) on loopback with maildirs of its own, and an aiosmtpd server
// that keeps what it accepts: the real peers of whole-program runs and benchmarks. Both
// run as processes that end by themselves after a while, even if their owner does not
// get to stop them.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTest>
#include <optional>

class DovecotServer {
public:
    struct User {
        QString name;
        QString password;
        QList<QByteArray> messages;
    };

    // folder: an empty folder of the caller's, readable by others (Dovecot reads it as
    // an unprivileged user).
    explicit DovecotServer(QString folder);
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Why the peers cannot run here (a package missing, not root), or empty.
    [[nodiscard]] static QString Unavailable();

    // A certificate and its key, PEM files readable by root.
    struct Tls {
        QString certificate;
        QString key;
    };

    // Writes the users and their mail and starts Dovecot; an error text, or empty.
    // Without tls: plain POP3 on 127.0.0.1:port(). With tls: on 127.0.0.2 (Dovecot counts
    // a connection from its own address as secured), TLS required before any login,
    // POP3 with STLS on port() and POP3S on tlsPort().
    [[nodiscard]] QString start(const QList<User>& users, const std::optional<Tls>& tls = {});
    [[nodiscard]] quint16 port() const { return port_; }
    [[nodiscard]] quint16 tlsPort() const { return tlsPort_; }
    // Dovecot's own log so far.
    [[nodiscard]] QByteArray log() const;
    // Puts another message into the user's mailbox.
    void deposit(const QString& user, const QByteArray& message);
    // The messages waiting in the user's mailbox, by file name.
    [[nodiscard]] QStringList waiting(const QString& user) const;

private:
    void makeMaildir(const QString& user) const;

    QString folder_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    QProcess process_;
    int deposited_ = 0;
};

class SmtpSinkServer {
public:
    // Keeps every message in folder as N.eml and its envelope as N.env (the sender, then
    // one recipient a line).
    explicit SmtpSinkServer(QString folder);
    ~SmtpSinkServer();
    SmtpSinkServer(const SmtpSinkServer&) = delete;
    SmtpSinkServer& operator=(const SmtpSinkServer&) = delete;

    // An error text, or empty. mailDelaySeconds: every "mail from:" is answered only
    // after that long, a slow server.
    [[nodiscard]] QString start(double mailDelaySeconds = 0);
    [[nodiscard]] quint16 port() const { return port_; }
    // The n-th message accepted (from 1), empty when there is none.
    [[nodiscard]] QByteArray message(int n) const;
    [[nodiscard]] QByteArray envelope(int n) const;
    [[nodiscard]] int count() const;

private:
    QString folder_;
    quint16 port_ = 0;
    QProcess process_;
};

// Runs the program hollisvc with -query in env; the events it wrote to eventLog, or why
// it did not end well.
[[nodiscard]] QByteArray RunQuery(const QString& hollisvc, const QString& eventLog,
                                  const QProcessEnvironment& env);

// Makes folder readable by others, as Dovecot reads its files as an unprivileged user.
void OpenToOthers(const QString& folder);

// In a test's initTestCase: skips the test where the real peers cannot run, and fails it
// in CI, which must not pass without them.
#define REQUIRE_REAL_PEERS()                                                                       \
    do {                                                                                           \
        const QString missing = DovecotServer::Unavailable();                                      \
        if (!missing.isEmpty() && qEnvironmentVariable("CI") == u"true")                           \
            QFAIL(qPrintable(missing + " (scripts/test.sh installs the peers)"));                  \
        if (!missing.isEmpty())                                                                    \
            QSKIP(qPrintable(missing));                                                            \
    } while (false)
