#include "DovecotServer.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Long enough for the slowest benchmark; the owner stops them sooner.
const QString Lifetime = u"1800"_s;

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

bool Accepting(quint16 port, const QHostAddress& address) { // within ten seconds
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(address, port);
        if (s.waitForConnected(100))
            return true;
        QThread::msleep(100);
    }
    return false;
}

void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(1000);
}

QString StartedOn(QProcess& process, quint16 port,
                  const QHostAddress& address = QHostAddress(QHostAddress::LocalHost)) {
    if (Accepting(port, address))
        return {};
    Stop(process);
    return QString::fromUtf8(process.readAll());
}

} // namespace

PeerProcess::PeerProcess(QString folder) : folder_(std::move(folder)) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
}

PeerProcess::~PeerProcess() {
    Stop(process_);
}

QString DovecotServer::Unavailable() {
    if (!QFile::exists(u"/usr/sbin/dovecot"_s))
        return u"dovecot-pop3d is not installed"_s;
    if (QProcess::execute(u"/usr/bin/python3"_s, {u"-c"_s, u"import aiosmtpd"_s}) != 0)
        return u"python3-aiosmtpd is not installed"_s;
    if (::geteuid() != 0)
        return u"Dovecot's private instance needs root here"_s;
    return {};
}

void DovecotServer::makeMaildir(const QString& user) const {
    const QString base = folder_ + u"/mail/%1/Maildir"_s.arg(user);
    for (const char* sub : {"new", "cur", "tmp"})
        QDir().mkpath(base + u'/' + QLatin1String(sub));
    // Dovecot reads and writes the mail as nobody, empty mailboxes too.
    QProcess::execute(u"chown"_s, {u"-R"_s, u"nobody"_s, folder_ + "/mail"});
}

void DovecotServer::deposit(const QString& user, const QByteArray& message) {
    const QString file = folder_ + u"/mail/%1/Maildir/new/%2.test"_s.arg(user).arg(++deposited_);
    QDir().mkpath(QFileInfo(file).path());
    WriteFile(file, message);
    makeMaildir(user);
}

QStringList DovecotServer::waiting(const QString& user) const {
    QStringList out;
    for (const char* sub : {"new", "cur"})
        out += QDir(folder_ + u"/mail/%1/Maildir/%2"_s.arg(user, QLatin1String(sub)))
                   .entryList(QDir::Files);
    return out;
}

QString DovecotServer::start(const QList<User>& users, const std::optional<Tls>& tls) {
    QByteArray passwords;
    for (const User& user : users) {
        passwords += user.name.toUtf8() + ":{PLAIN}" + user.password.toUtf8() + '\n';
        for (const QByteArray& message : user.messages)
            deposit(user.name, message);
        makeMaildir(user.name);
    }
    port_ = FreePort();
    const QString address = tls ? u"127.0.0.2"_s : u"127.0.0.1"_s;
    QString listeners =
        u"  inet_listener pop3 {\n    address = %1\n    port = %2\n  }\n"_s.arg(address).arg(port_);
    QString security = u"ssl = no\ndisable_plaintext_auth = no\n"_s;
    if (tls) {
        tlsPort_ = FreePort();
        listeners += QStringLiteral("  inet_listener pop3s {\n    address = %1\n    port = %2\n"
                                    "    ssl = yes\n  }\n")
                         .arg(address)
                         .arg(tlsPort_);
        security = QStringLiteral("ssl = required\nssl_cert = <%1\nssl_key = <%2\n"
                                  "ssl_min_protocol = TLSv1.2\ndisable_plaintext_auth = yes\n")
                       .arg(tls->certificate, tls->key);
    }
    const QString conf = folder_ + u"/dovecot.conf"_s;
    if (!WriteFile(folder_ + u"/users"_s, passwords) || !QDir().mkpath(folder_ + u"/state"_s) ||
        !WriteFile(conf, QStringLiteral(
                             "base_dir = %1/run\n"
                             "state_dir = %1/state\n"
                             "log_path = %1/dovecot.log\n"
                             "protocols = pop3\n"
                             "listen = %2\n"
                             "%3"
                             "default_login_user = dovenull\n"
                             "default_internal_user = dovecot\n"
                             "default_internal_group = dovecot\n"
                             "service pop3-login {\n%4  chroot =\n}\n"
                             "service anvil {\n  chroot =\n}\n"
                             "service imap-login {\n  chroot =\n}\n"
                             "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %1/users\n}\n"
                             "userdb {\n  driver = static\n"
                             "  args = uid=nobody gid=nogroup home=%1/mail/%u\n}\n"
                             "mail_location = maildir:%1/mail/%u/Maildir\n")
                             .arg(folder_, address, security, listeners)
                             .toUtf8()))
        return u"cannot write Dovecot's files in "_s + folder_;
    process_.start(u"timeout"_s, {Lifetime, u"/usr/sbin/dovecot"_s, u"-F"_s, u"-c"_s, conf});
    return StartedOn(process_, port_, QHostAddress(address));
}

QByteArray DovecotServer::log() const {
    return ReadFile(folder_ + u"/dovecot.log"_s);
}

QString SmtpSinkServer::start(double mailDelaySeconds) {
    port_ = FreePort();
    QDir().mkpath(folder_);
    process_.start(u"timeout"_s,
                   {Lifetime, u"/usr/bin/python3"_s, QStringLiteral(HOLLIMERE_SMTP_SINK),
                    QString::number(port_), folder_, Lifetime, QString::number(mailDelaySeconds)});
    return StartedOn(process_, port_);
}

QByteArray SmtpSinkServer::message(int n) const {
    return ReadFile(folder_ + u"/%1.eml"_s.arg(n));
}

QByteArray SmtpSinkServer::envelope(int n) const {
    return ReadFile(folder_ + u"/%1.env"_s.arg(n));
}

int SmtpSinkServer::count() const {
    return int(QDir(folder_).entryList({u"*.eml"_s}, QDir::Files).size());
}

QByteArray RunQuery(const QString& hollisvc, const QString& eventLog,
                    const QProcessEnvironment& env) {
    QProcess svc;
    svc.setProcessEnvironment(env);
    svc.start(hollisvc, {u"-query"_s});
    if (!svc.waitForFinished(60000) || svc.exitCode() != 0)
        return "hollisvc -query did not end well: " + svc.readAll();
    return ReadFile(eventLog);
}

void OpenToOthers(const QString& folder) {
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                      QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::ExeOther);
}
