#include "DovecotServer.h"
#include "FileMod.h"
#include "LoopbackSite.h"
#include "TestCertificates.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The built hollisvc -query against Debian's Dovecot (POP3) and an aiosmtpd server, each
// its own process with a private configuration on loopback ports.
class TestRealPeers : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase() {
        REQUIRE_REAL_PEERS();
        QVERIFY(dir.isValid());
        OpenToOthers(dir.path());
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
        DovecotServer dovecot(dir.path());
        const QString failed =
            dovecot.start({{QStringLiteral("sales"), QStringLiteral("pw1"), {toSales}},
                           {QStringLiteral("catchall"), QStringLiteral("pw2"), {toDomain}},
                           {QStringLiteral("archive"), QStringLiteral("pw3"), {archived}}});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SmtpSinkServer sink(path(QStringLiteral("delivered")));
        const QString sinkFailed = sink.start();
        QVERIFY2(sinkFailed.isEmpty(), qPrintable(sinkFailed));
        const QString d = dir.path();
        const quint16 popPort = dovecot.port();
        const quint16 smtpPort = sink.port();

        // The archive chooses plain text knowingly; the other two find no STLS.
        Configuration site = LoopbackSite(popPort, smtpPort, 10);
        site.Accounts[2].MailServer = QStringLiteral("pop3://127.0.0.1:%1").arg(popPort);
        QVERIFY(FileMod::SaveData(site, FileMod::DataFilePath(d)));

        const QByteArray events =
            RunQuery(QStringLiteral(HOLLISVC_PATH), path(QStringLiteral("events.log")),
                     HollisvcEnvironment(d, path(QStringLiteral("events.log")), 100));
        QVERIFY2(events.count("\t1000\t") == 3 && events.count("(unencrypted)") == 3 &&
                     events.count("\t8021\t") == 2 &&
                     events.contains("\t1001\tFinished mail query"),
                 events.constData());

        const auto delivered = [&sink](int n) {
            return std::pair{sink.message(n), sink.envelope(n)};
        };
        QCOMPARE(delivered(1),
                 (std::pair{toSales, QByteArray("ann@else.example\nsales@example.org\n")}));
        QCOMPARE(delivered(2),
                 (std::pair{toDomain,
                            QByteArray("bob@else.example\njo@ISP.example\nkim@isp.example\n")}));
        QCOMPARE(delivered(3),
                 (std::pair{archived, QByteArray("news@else.example\narch@example.org\n")}));
        QCOMPARE(sink.count(), 3);
        QCOMPARE(dovecot.waiting(QStringLiteral("sales")), QStringList());
        QCOMPARE(dovecot.waiting(QStringLiteral("catchall")), QStringList());
        QCOMPARE(dovecot.waiting(QStringLiteral("archive")).size(), 1);
    }

    // The service stopped while it relays a mailbox deletes what the SMTP server accepted
    // before it ends, so that the next cycle delivers each message exactly once.
    void stopWhileRelayingDeliversEachMessageOnce() {
        const QString d = path(QStringLiteral("stop"));
        QVERIFY(QDir().mkpath(d));
        OpenToOthers(d);
        QList<QByteArray> messages;
        for (int n = 1; n <= 10; ++n)
            messages.append("From: <ann@else.example>\r\nTo: sales@isp.example\r\nSubject: " +
                            QByteArray::number(n) + "\r\n\r\nBody " + QByteArray::number(n) +
                            "\r\n");
        DovecotServer dovecot(d);
        const QString failed =
            dovecot.start({{QStringLiteral("sales"), QStringLiteral("pw1"), messages}});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SmtpSinkServer sink(d + QStringLiteral("/delivered"));
        const QString sinkFailed = sink.start(0.2);
        QVERIFY2(sinkFailed.isEmpty(), qPrintable(sinkFailed));
        Configuration site = LoopbackSite(dovecot.port(), sink.port(), 10);
        site.Accounts[1] = site.Accounts[2] = AccountRecord();
        QVERIFY(FileMod::SaveData(site, FileMod::DataFilePath(d)));
        const QProcessEnvironment env =
            HollisvcEnvironment(d, d + QStringLiteral("/events.log"), 100);

        QProcess svc;
        svc.setProcessEnvironment(env);
        svc.start(QStringLiteral(HOLLISVC_PATH), {QStringLiteral("-debug")});
        QTRY_VERIFY_WITH_TIMEOUT(sink.count() >= 3, 10000);
        QElapsedTimer stopping;
        stopping.start();
        svc.terminate();
        QVERIFY(svc.waitForFinished(5000));
        QVERIFY2(stopping.elapsed() < 5000, qPrintable(QString::number(stopping.elapsed())));
        const int beforeQuery = sink.count();
        QVERIFY2(beforeQuery < 10, "the stop came too late to test anything");
        QCOMPARE(dovecot.waiting(QStringLiteral("sales")).size(), 10 - beforeQuery);

        const QByteArray events =
            RunQuery(QStringLiteral(HOLLISVC_PATH), d + QStringLiteral("/events.log"), env);
        QVERIFY2(events.contains("\t1003\t"), events.constData());
        QList<QByteArray> delivered;
        for (int n = 1; n <= sink.count(); ++n)
            delivered.append(sink.message(n));
        std::sort(delivered.begin(), delivered.end());
        std::sort(messages.begin(), messages.end());
        QCOMPARE(delivered, messages);
        QCOMPARE(dovecot.waiting(QStringLiteral("sales")), QStringList());
    }

    // Mail goes out only over a verified TLS session, from the first byte (pop3s://) or
    // upgraded with STLS; a certificate that is not trusted or names another host ends
    // the session before the login, and Dovecot sees no login attempt.
    void tlsSessions_data() {
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<QString>("certificate"); // "right" for 127.0.0.2, or "other"
        QTest::addColumn<bool>("trusted");        // HOLLIMERE_CA_FILE names the authority
        QTest::addColumn<QString>("failure");     // the reason; empty: relayed
        const QString untrusted = QStringLiteral("the certificate is not trusted");
        const QString otherHost = QStringLiteral("the certificate is for another host");
        QTest::newRow("implicit TLS") << true << "right" << true << QString();
        QTest::newRow("STLS") << false << "right" << true << QString();
        QTest::newRow("implicit TLS, not trusted") << true << "right" << false << untrusted;
        QTest::newRow("STLS, not trusted") << false << "right" << false << untrusted;
        QTest::newRow("implicit TLS, another host") << true << "other" << true << otherHost;
        QTest::newRow("STLS, another host") << false << "other" << true << otherHost;
    }
    void tlsSessions() {
        QFETCH(bool, implicit);
        QFETCH(QString, certificate);
        QFETCH(bool, trusted);
        QFETCH(QString, failure);
        static int run = 0;
        const QString folder = path(QStringLiteral("tls%1").arg(++run));
        QVERIFY(QDir().mkpath(folder));
        OpenToOthers(folder);
        TestCertificates certs(folder + QStringLiteral("/certificates"));
        QVERIFY2(
            certs.issue(QStringLiteral("right"), {QStringLiteral("IP:127.0.0.2")}) &&
                certs.issue(QStringLiteral("other"), {QStringLiteral("DNS:pop.other.example")}),
            qPrintable(certs.error()));
        const QByteArray letter = "From: <ann@else.example>\r\nTo: sales@isp.example\r\n"
                                  "Subject: Sealed\r\n\r\nOver TLS.\r\n";
        DovecotServer dovecot(folder);
        const QString failed = dovecot.start(
            {{QStringLiteral("sales"), QStringLiteral("pw1"), {letter}}},
            DovecotServer::Tls{certs.certificate(certificate), certs.key(certificate)});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SmtpSinkServer sink(folder + QStringLiteral("/delivered"));
        const QString sinkFailed = sink.start();
        QVERIFY2(sinkFailed.isEmpty(), qPrintable(sinkFailed));

        Configuration site = LoopbackSite(dovecot.port(), sink.port(), 10);
        site.Accounts[1] = site.Accounts[2] = AccountRecord();
        const QString server = implicit
                                   ? QStringLiteral("pop3s://127.0.0.2:%1").arg(dovecot.tlsPort())
                                   : QStringLiteral("127.0.0.2:%1").arg(dovecot.port());
        site.Accounts[0].MailServer = server;
        QVERIFY(FileMod::SaveData(site, FileMod::DataFilePath(folder)));
        QProcessEnvironment env =
            HollisvcEnvironment(folder, folder + QStringLiteral("/events.log"), 100);
        env.remove(QStringLiteral("HOLLIMERE_CA_FILE"));
        if (trusted)
            env.insert(QStringLiteral("HOLLIMERE_CA_FILE"), certs.authority());
        const QByteArray events =
            RunQuery(QStringLiteral(HOLLISVC_PATH), folder + QStringLiteral("/events.log"), env);

        QVERIFY2(!events.contains("\t8021\t"), events.constData());
        if (failure.isEmpty()) {
            QVERIFY2(events.contains("\t1000\tMail Retrieval and Delivery was successful on " +
                                     server.toUtf8() + " (TLS 1."),
                     events.constData());
            QCOMPARE(sink.message(1), letter);
            QCOMPARE(dovecot.waiting(QStringLiteral("sales")), QStringList());
            // Dovecot, too, saw the login inside TLS.
            QVERIFY2(
                QString::fromUtf8(dovecot.log())
                    .contains(QRegularExpression(QStringLiteral("Login: user=<sales>.*, TLS,"))),
                dovecot.log().constData());
            return;
        }
        QVERIFY2(events.contains("\t8020\tSecure connection failed to: " + server.toUtf8() + ", " +
                                 failure.toUtf8() + "."),
                 events.constData());
        QCOMPARE(sink.count(), 0);
        QCOMPARE(dovecot.waiting(QStringLiteral("sales")).size(), 1);
        // Dovecot writes the line once it sees the client gone (its own start-up probe has
        // a line without the handshake).
        const QRegularExpression handshake(
            QStringLiteral("no auth attempts in \\d+ secs\\): user=<>, rip=127\\.0\\.0\\.1, "
                           "lip=127\\.0\\.0\\.2, TLS handshaking"));
        QTRY_VERIFY2(QString::fromUtf8(dovecot.log()).contains(handshake),
                     dovecot.log().constData());
        QVERIFY2(!dovecot.log().contains("user=<sales>"), dovecot.log().constData());
    }
};

QTEST_GUILESS_MAIN(TestRealPeers)
#include "tst_realpeers.moc"
