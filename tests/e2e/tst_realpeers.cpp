#include "FileMod.h"
#include "LoopbackSite.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

// The built hollisvc -query against Debian's Dovecot (POP3) and an aiosmtpd server, each
// its own process with a private configuration on loopback ports.
class TestRealPeers : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QList<QProcess*> peers;

    QString path(const QString& name) const { return dir.filePath(name); }

    static quint16 freePort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    static bool accepting(quint16 port) {
        for (int i = 0; i < 100; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (s.waitForConnected(100))
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    static void write(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // A peer that ends by itself even if this test does not get to stop it.
    QProcess* startPeer(const QString& program, const QStringList& arguments) {
        auto* p = new QProcess(this);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QStringLiteral("timeout"),
                 QStringList{QStringLiteral("110"), program} + arguments);
        peers.append(p);
        return p;
    }

    // The maildir of `user`, owned by the unprivileged user Dovecot reads it as.
    void maildir(const QString& user, const QList<QByteArray>& messages) {
        const QString base = path(QStringLiteral("mail/%1/Maildir").arg(user));
        for (const char* sub : {"new", "cur", "tmp"})
            QVERIFY(QDir().mkpath(base + u'/' + QLatin1String(sub)));
        for (int i = 0; i < messages.size(); ++i)
            write(base + QStringLiteral("/new/%1.test").arg(i + 1), messages.at(i));
    }

    QStringList waiting(const QString& user) const {
        QStringList out;
        for (const char* sub : {"new", "cur"})
            out += QDir(path(QStringLiteral("mail/%1/Maildir/%2").arg(user, QLatin1String(sub))))
                       .entryList(QDir::Files);
        return out;
    }

private slots:
    void initTestCase() {
        const bool ci = qEnvironmentVariable("CI") == u"true";
        const bool haveDovecot = QFile::exists(QStringLiteral("/usr/sbin/dovecot"));
        const bool haveSink =
            QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")}) == 0;
        if (!haveDovecot || !haveSink) {
            if (ci)
                QFAIL("dovecot-pop3d and python3-aiosmtpd are needed (scripts/test.sh installs "
                      "them)");
            QSKIP("dovecot-pop3d or python3-aiosmtpd is not installed");
        }
        if (::geteuid() != 0 && !ci)
            QSKIP("Dovecot's private instance needs root here");
        QVERIFY(dir.isValid());
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadGroup | QFile::ExeGroup |
                                              QFile::ReadOther | QFile::ExeOther);
    }

    void cleanupTestCase() {
        for (QProcess* p : peers) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
        }
    }

    void queryDeliversWhatDovecotHolds() {
        const QByteArray toSales = "Return-Path: <ann@else.example>\r\n"
                                   "From: Ann <ann@else.example>\r\n"
                                   "To: sales@isp.example\r\n"
                                   "Subject: Order\r\n"
                                   "\r\n"
                                   "Two boxes.\r\n"
                                   ".A line that starts with a dot\r\n"
                                   "..and two\r\n";
        const QByteArray toDomain = "From: \"Bob B.\" <bob@else.example>\r\n"
                                    "To: <jo@ISP.example>, Kim <kim@isp.example>\r\n"
                                    "Cc: <ann@else.example>\r\n"
                                    "Subject: Hello\r\n"
                                    "\r\n"
                                    "Hi both.\r\n";
        const QByteArray archived = "From: <news@else.example>\r\n"
                                    "To: arch@isp.example\r\n"
                                    "Subject: Kept\r\n"
                                    "\r\n"
                                    "Stays on the server.\r\n";
        maildir(QStringLiteral("sales"), {toSales});
        maildir(QStringLiteral("catchall"), {toDomain});
        maildir(QStringLiteral("archive"), {archived});
        const passwd* nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        QCOMPARE(QProcess::execute(QStringLiteral("chown"),
                                   {QStringLiteral("-R"), QStringLiteral("nobody"),
                                    path(QStringLiteral("mail"))}),
                 0);
        write(path(QStringLiteral("users")),
              "sales:{PLAIN}pw1\ncatchall:{PLAIN}pw2\narchive:{PLAIN}pw3\n");

        const quint16 popPort = freePort();
        const QString d = dir.path();
        write(
            path(QStringLiteral("dovecot.conf")),
            QStringLiteral("base_dir = %1/run\n"
                           "state_dir = %1/state\n"
                           "log_path = %1/dovecot.log\n"
                           "protocols = pop3\n"
                           "listen = 127.0.0.1\n"
                           "ssl = no\n"
                           "disable_plaintext_auth = no\n"
                           "default_login_user = dovenull\n"
                           "default_internal_user = dovecot\n"
                           "default_internal_group = dovecot\n"
                           "service pop3-login {\n  inet_listener pop3 {\n    address = 127.0.0.1\n"
                           "    port = %2\n  }\n  chroot =\n}\n"
                           "service anvil {\n  chroot =\n}\n"
                           "service imap-login {\n  chroot =\n}\n"
                           "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %1/users\n}\n"
                           "userdb {\n  driver = static\n"
                           "  args = uid=nobody gid=nogroup home=%1/mail/%u\n}\n"
                           "mail_location = maildir:%1/mail/%u/Maildir\n")
                .arg(d)
                .arg(popPort)
                .toUtf8());
        QVERIFY(QDir().mkpath(path(QStringLiteral("state"))));
        startPeer(QStringLiteral("/usr/sbin/dovecot"), {QStringLiteral("-F"), QStringLiteral("-c"),
                                                        path(QStringLiteral("dovecot.conf"))});
        QVERIFY2(accepting(popPort), qPrintable(QString::fromUtf8(peers.last()->readAll())));

        const quint16 smtpPort = freePort();
        QVERIFY(QDir().mkpath(path(QStringLiteral("delivered"))));
        startPeer(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(HOLLIMERE_E2E_DIR "/smtp_sink.py"), QString::number(smtpPort),
                   path(QStringLiteral("delivered")), QStringLiteral("100")});
        QVERIFY2(accepting(smtpPort), qPrintable(QString::fromUtf8(peers.last()->readAll())));

        QVERIFY(FileMod::SaveData(LoopbackSite(popPort, smtpPort, 10), FileMod::DataFilePath(d)));

        QProcess svc;
        svc.setProcessEnvironment(HollisvcEnvironment(d, path(QStringLiteral("events.log")), 100));
        svc.start(QStringLiteral(HOLLISVC_PATH), {QStringLiteral("-query")});
        QVERIFY(svc.waitForFinished(60000));
        QFile log(path(QStringLiteral("events.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray events = log.readAll();
        QCOMPARE(svc.exitCode(), 0);
        QVERIFY2(events.count("\t1000\t") == 3 && events.contains("\t1001\tFinished mail query"),
                 events.constData());

        const auto delivered = [&](int n) {
            QFile eml(path(QStringLiteral("delivered/%1.eml").arg(n)));
            QFile env(path(QStringLiteral("delivered/%1.env").arg(n)));
            return std::pair{eml.open(QIODevice::ReadOnly) ? eml.readAll() : QByteArray(),
                             env.open(QIODevice::ReadOnly) ? env.readAll() : QByteArray()};
        };
        QCOMPARE(delivered(1),
                 (std::pair{toSales, QByteArray("ann@else.example\nsales@example.org\n")}));
        QCOMPARE(delivered(2),
                 (std::pair{toDomain,
                            QByteArray("bob@else.example\njo@ISP.example\nkim@isp.example\n")}));
        QCOMPARE(delivered(3),
                 (std::pair{archived, QByteArray("news@else.example\narch@example.org\n")}));
        QVERIFY(!QFile::exists(path(QStringLiteral("delivered/4.eml"))));
        QCOMPARE(waiting(QStringLiteral("sales")), QStringList());
        QCOMPARE(waiting(QStringLiteral("catchall")), QStringList());
        QCOMPARE(waiting(QStringLiteral("archive")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRealPeers)
#include "tst_realpeers.moc"
