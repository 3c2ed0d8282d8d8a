#include "DovecotServer.h"
#include "FileMod.h"
#include "LoopbackSite.h"

#include <QFile>
#include <QProcess>
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
        const QString missing = DovecotServer::Unavailable();
        if (!missing.isEmpty()) {
            // CI must not pass without it.
            if (qEnvironmentVariable("CI") == u"true")
                QFAIL(qPrintable(missing + " (scripts/test.sh installs the peers)"));
            QSKIP(qPrintable(missing));
        }
        QVERIFY(dir.isValid());
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadGroup | QFile::ExeGroup |
                                              QFile::ReadOther | QFile::ExeOther);
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
};

QTEST_GUILESS_MAIN(TestRealPeers)
#include "tst_realpeers.moc"
