#include "DovecotServer.h"
#include "FileMod.h"
#include "LoopbackSite.h"
#include "TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The built hollisvc against Debian's Dovecot (POP3) and an aiosmtpd server, each its own
// process with a private configuration on loopback ports.
class TestRealPeers : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    static QByteArray Letter(int n) {
        return "From: <news@else.example>\r\nTo: sales@isp.example\r\nSubject: Letter " +
               QByteArray::number(n) + "\r\n\r\nLetter number " + QByteArray::number(n) + ".\r\n";
    }

    // A folder of its own for a test, readable by Dovecot, with hollisvc's state folder.
    QString folder(const QString& name) const {
        const QString folder = dir.filePath(name);
        QDir().mkpath(folder + u"/state"_s);
        OpenToOthers(folder);
        return folder;
    }

    // Saves site in folder; the environment in which hollisvc uses it.
    static QProcessEnvironment use(const Configuration& site, const QString& folder) {
        QProcessEnvironment env = HollisvcEnvironment(folder, folder + u"/events.log"_s, 100);
        env.insert(u"HOLLIMERE_STATE_DIR"_s, folder + u"/state"_s);
        env.remove(u"HOLLIMERE_CA_FILE"_s);
        return FileMod::SaveData(site, FileMod::DataFilePath(folder)) ? env : QProcessEnvironment();
    }

    // One cycle's events.
    static QByteArray query(const QProcessEnvironment& env) {
        const QString log = env.value(u"HOLLIMERE_EVENTLOG"_s);
        QFile::remove(log);
        return RunQuery(QStringLiteral(HOLLISVC_PATH), log, env);
    }

    // Every message the sink received, each with how often it came.
    static QHash<QByteArray, int> received(const SmtpSinkServer& sink) {
        QHash<QByteArray, int> times;
        for (int n = 1; n <= sink.count(); ++n)
            ++times[sink.message(n)];
        return times;
    }

    // The IDs on the lists of delivered kept mail in the state folder of env.
    static int listedIDs(const QProcessEnvironment& env) {
        const QDir state(env.value(u"HOLLIMERE_STATE_DIR"_s));
        int ids = 0;
        for (const QString& name : state.entryList({u"delivered-*.ids"_s})) {
            QFile file(state.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                ids += int(file.readAll().count('\n')) - 1; // below the header line
        }
        return ids;
    }

private slots:
    void initTestCase() {
        // Skipped where the peers cannot run; CI must not pass without them.
        if (const QString missing = DovecotServer::Unavailable(); !missing.isEmpty()) {
            if (qEnvironmentVariable("CI") == u"true")
                QFAIL(qPrintable(missing + " (scripts/test.sh installs the peers)"));
            QSKIP(qPrintable(missing));
        }
        QVERIFY(dir.isValid());
        OpenToOthers(dir.path());
    }

    // Three accounts relayed byte for byte with their envelopes; the archive keeps its
    // mail and hands each message over once, over three cycles with one new letter.
    void queryDeliversWhatDovecotHoldsOnce() {
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
        const QString d = folder(u"relay"_s);
        DovecotServer dovecot(d);
        const QString failed = dovecot.start({{u"sales"_s, u"pw1"_s, {toSales}},
                                              {u"catchall"_s, u"pw2"_s, {toDomain}},
                                              {u"archive"_s, u"pw3"_s, {Letter(1)}}});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SmtpSinkServer sink(d + u"/delivered"_s);
        const QString sinkFailed = sink.start();
        QVERIFY2(sinkFailed.isEmpty(), qPrintable(sinkFailed));
        // The archive chooses plain text knowingly; the other two find no STLS.
        Configuration site = LoopbackSite(dovecot.port(), sink.port(), 10);
        site.Accounts[2].MailServer = u"pop3://127.0.0.1:%1"_s.arg(dovecot.port());
        const QProcessEnvironment env = use(site, d);

        const QByteArray events = query(env);
        QVERIFY2(events.contains("\t110\tManual Mail query requested") &&
                     events.count("\t1000\t") == 3 && events.count("(unencrypted)") == 3 &&
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
                 (std::pair{Letter(1), QByteArray("news@else.example\narch@example.org\n")}));
        QCOMPARE(dovecot.waiting(u"sales"_s), QStringList());
        QCOMPARE(dovecot.waiting(u"catchall"_s), QStringList());

        QVERIFY(query(env).count("\t1000\t") == 3);
        dovecot.deposit(u"archive"_s, Letter(2));
        QVERIFY(query(env).count("\t1000\t") == 3);
        QCOMPARE(sink.count(), 4);
        QCOMPARE(sink.message(4), Letter(2));
        QCOMPARE(dovecot.waiting(u"archive"_s).size(), 2);
        QCOMPARE(listedIDs(env), 2);
    }

    // The service interrupted while it relays: stopped, it deletes what the SMTP server
    // accepted before it ends; killed after a delivery whose deletion was not committed,
    // it left the ID on its list. Either way the next cycle delivers each message once.
    void interruptedRelayDeliversEachMessageOnce_data() {
        QTest::addColumn<bool>("killed");
        QTest::addColumn<double>("mailDelay"); // the SMTP server's pause before each message
        QTest::addColumn<int>("letters");
        QTest::newRow("stopped") << false << 0.2 << 10;
        QTest::newRow("killed") << true << 1.5 << 3;
    }
    void interruptedRelayDeliversEachMessageOnce() {
        QFETCH(bool, killed);
        QFETCH(double, mailDelay);
        QFETCH(int, letters);
        const QString d = folder(QString::fromLatin1(QTest::currentDataTag()));
        QList<QByteArray> messages;
        for (int n = 1; n <= letters; ++n)
            messages.append(Letter(n));
        DovecotServer dovecot(d);
        const QString failed = dovecot.start({{u"sales"_s, u"pw1"_s, messages}});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SmtpSinkServer sink(d + u"/delivered"_s);
        const QString sinkFailed = sink.start(mailDelay);
        QVERIFY2(sinkFailed.isEmpty(), qPrintable(sinkFailed));
        Configuration site = LoopbackSite(dovecot.port(), sink.port(), 100);
        site.Accounts[1] = site.Accounts[2] = AccountRecord();
        const QProcessEnvironment env = use(site, d);

        QProcess svc;
        svc.setProcessEnvironment(env);
        svc.start(QStringLiteral(HOLLISVC_PATH), {killed ? u"-query"_s : u"-debug"_s});
        if (killed) {
            QTRY_VERIFY_WITH_TIMEOUT(listedIDs(env) >= 1, 30000);
            svc.kill();
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(sink.count() >= 3, 10000);
            svc.terminate();
        }
        QVERIFY(svc.waitForFinished(5000));
        const int before = sink.count();
        QVERIFY2(before < letters, "the interruption came too late to test anything");
        QCOMPARE(dovecot.waiting(u"sales"_s).size(), killed ? letters : letters - before);
        if (killed)
            QCOMPARE(listedIDs(env), before);

        const QByteArray events = query(env);
        QVERIFY2(events.count("\t1000\t") == 1, events.constData());
        QHash<QByteArray, int> once;
        for (const QByteArray& m : messages)
            once[m] = 1;
        QCOMPARE(received(sink), once);
        QCOMPARE(dovecot.waiting(u"sales"_s), QStringList());
    }

    // Mail goes out only over a verified TLS session, from the first byte (pop3s://) or
    // upgraded with STLS; a certificate that is not trusted or names another host ends
    // the session before the login, and Dovecot sees no login attempt.
    void tlsSessions_data() {
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<QString>("certificate"); // "right" for 127.0.0.2, or "other"
        QTest::addColumn<bool>("trusted");        // HOLLIMERE_CA_FILE names the authority
        QTest::addColumn<QString>("failure");     // the reason; empty: relayed
        QTest::newRow("implicit TLS") << true << "right" << true << QString();
        QTest::newRow("STLS") << false << "right" << true << QString();
        QTest::newRow("implicit TLS, not trusted")
            << true << "right" << false << "the certificate is not trusted";
        QTest::newRow("STLS, another host")
            << false << "other" << true << "the certificate is for another host";
    }
    void tlsSessions() {
        QFETCH(bool, implicit);
        QFETCH(QString, certificate);
        QFETCH(bool, trusted);
        QFETCH(QString, failure);
        const QString d = folder(QString::fromLatin1(QTest::currentDataTag()));
        TestCertificates certs(d + u"/certificates"_s);
        QVERIFY2(certs.issue(u"right"_s, {u"IP:127.0.0.2"_s}) &&
                     certs.issue(u"other"_s, {u"DNS:pop.other.example"_s}),
                 qPrintable(certs.error()));
        DovecotServer dovecot(d);
        const QString failed = dovecot.start(
            {{u"sales"_s, u"pw1"_s, {Letter(1)}}},
            DovecotServer::Tls{certs.certificate(certificate), certs.key(certificate)});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SmtpSinkServer sink(d + u"/delivered"_s);
        const QString sinkFailed = sink.start();
        QVERIFY2(sinkFailed.isEmpty(), qPrintable(sinkFailed));
        Configuration site = LoopbackSite(dovecot.port(), sink.port(), 10);
        site.Accounts[1] = site.Accounts[2] = AccountRecord();
        const QString server = implicit ? u"pop3s://127.0.0.2:%1"_s.arg(dovecot.tlsPort())
                                        : u"127.0.0.2:%1"_s.arg(dovecot.port());
        site.Accounts[0].MailServer = server;
        QProcessEnvironment env = use(site, d);
        if (trusted)
            env.insert(u"HOLLIMERE_CA_FILE"_s, certs.authority());

        const QByteArray events = query(env);
        QVERIFY2(!events.contains("\t8021\t"), events.constData());
        if (!failure.isEmpty()) {
            QVERIFY2(events.contains("\t8020\tSecure connection failed to: " + server.toUtf8() +
                                     ", " + failure.toUtf8() + "."),
                     events.constData());
            QCOMPARE(sink.count(), 0);
            // Dovecot writes the line once it sees the client gone.
            QTRY_VERIFY2(dovecot.log().contains("TLS handshaking"), dovecot.log().constData());
            QVERIFY2(!dovecot.log().contains("user=<sales>"), dovecot.log().constData());
            return;
        }
        QVERIFY2(events.contains("\t1000\tMail Retrieval and Delivery was successful on " +
                                 server.toUtf8() + " (TLS 1."),
                 events.constData());
        QCOMPARE(sink.message(1), Letter(1));
        QCOMPARE(dovecot.waiting(u"sales"_s), QStringList());
        QVERIFY2(QString::fromUtf8(dovecot.log())
                     .contains(QRegularExpression(u"Login: user=<sales>.*, TLS,"_s)),
                 dovecot.log().constData());
    }
};

QTEST_GUILESS_MAIN(TestRealPeers)
#include "tst_realpeers.moc"
