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
#include <optional>

// A server run as a process of its own, in a folder of the caller's, on a loopback port;
// stopped with its owner.
class PeerProcess {
public:
    explicit PeerProcess(QString folder);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    [[nodiscard]] quint16 port() const { return port_; }

protected:
    QString folder_;
    quint16 port_ = 0;
    QProcess process_;
};

class DovecotServer : public PeerProcess {
public:
    struct User {
        QString name;
        QString password;
        QList<QByteArray> messages;
    };

    // folder: an empty folder, readable by others (Dovecot reads it as an unprivileged user).
    using PeerProcess::PeerProcess;

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
    [[nodiscard]] quint16 tlsPort() const { return tlsPort_; }
    // Dovecot's own log so far.
    [[nodiscard]] QByteArray log() const;
    // Puts another message into the user's mailbox.
    void deposit(const QString& user, const QByteArray& message);
    // The messages waiting in the user's mailbox, by file name.
    [[nodiscard]] QStringList waiting(const QString& user) const;

private:
    void makeMaildir(const QString& user) const;

    quint16 tlsPort_ = 0;
    int deposited_ = 0;
};

class SmtpSinkServer : public PeerProcess {
public:
    // Keeps every message in folder as N.eml and its envelope as N.env (the sender, then
    // one recipient a line).
    using PeerProcess::PeerProcess;

    // An error text, or empty. mailDelaySeconds: every "mail from:" is answered only
    // after that long, a slow server.
    [[nodiscard]] QString start(double mailDelaySeconds = 0);
    // The n-th message accepted (from 1), empty when there is none.
    [[nodiscard]] QByteArray message(int n) const;
    [[nodiscard]] QByteArray envelope(int n) const;
    [[nodiscard]] int count() const;
};

// Runs the program hollisvc with -query in env; the events it wrote to eventLog, or why
// it did not end well.
[[nodiscard]] QByteArray RunQuery(const QString& hollisvc, const QString& eventLog,
                                  const QProcessEnvironment& env);

// Makes folder readable by others, as Dovecot reads its files as an unprivileged user.
void OpenToOthers(const QString& folder);
