#include "DovecotServer.h"
#include "FileMod.h"
#include "LoopbackSite.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

// Each message is delivered once by the built hollisvc -query against Dovecot and an
// aiosmtpd server: kept mail over several cycles, and a session cut off after a delivery.
class TestOnceDelivery : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    static QByteArray Letter(int n) {
        return "From: <news@else.example>\r\nTo: arch@isp.example\r\nSubject: Letter " +
               QByteArray::number(n) + "\r\n\r\nLetter number " + QByteArray::number(n) + ".\r\n";
    }

    // Everything the sink received, each message with how often it came.
    static QHash<QByteArray, int> Received(const SmtpSinkServer& sink) {
        QHash<QByteArray, int> times;
        for (int n = 1; n <= sink.count(); ++n)
            ++times[sink.message(n)];
        return times;
    }

    // A folder of its own for a test, with the state folder inside.
    QString Folder(const QString& name) const {
        const QString folder = dir.filePath(name);
        QDir().mkpath(folder + QStringLiteral("/state"));
        OpenToOthers(folder);
        return folder;
    }

    // The data file in folder, and the environment in which hollisvc uses it.
    static QProcessEnvironment Site(const QString& folder, quint16 popPort, quint16 smtpPort,
                                    int timeoutSeconds) {
        QProcessEnvironment env =
            HollisvcEnvironment(folder, folder + QStringLiteral("/events.log"), 100);
        env.insert(QStringLiteral("HOLLIMERE_STATE_DIR"), folder + QStringLiteral("/state"));
        if (!FileMod::SaveData(LoopbackSite(popPort, smtpPort, timeoutSeconds),
                               FileMod::DataFilePath(folder)))
            return {};
        return env;
    }

    // One cycle's events.
    static QByteArray Query(const QProcessEnvironment& env) {
        const QString log = env.value(QStringLiteral("HOLLIMERE_EVENTLOG"));
        QFile::remove(log);
        return RunQuery(QStringLiteral(HOLLISVC_PATH), log, env);
    }

    // The IDs on every list in the state folder of env.
    static int ListedIDs(const QProcessEnvironment& env) {
        const QDir state(env.value(QStringLiteral("HOLLIMERE_STATE_DIR")));
        int ids = 0;
        for (const QString& name : state.entryList({QStringLiteral("delivered-*.ids")})) {
            QFile file(state.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                ids += int(file.readAll().count('\n')) - 1; // below the header line
        }
        return ids;
    }

private slots:
    void initTestCase() {
        REQUIRE_REAL_PEERS();
        QVERIFY(dir.isValid());
        OpenToOthers(dir.path());
    }

    // The archive account keeps its mail: three cycles, a letter added before the third.
    void keptMailIsDeliveredOnce() {
        const QString folder = Folder(QStringLiteral("kept"));
        DovecotServer dovecot(folder);
        const QString failed = dovecot.start(
            {{QStringLiteral("sales"), QStringLiteral("pw1"), {}},
             {QStringLiteral("catchall"), QStringLiteral("pw2"), {}},
             {QStringLiteral("archive"), QStringLiteral("pw3"), {Letter(1), Letter(2)}}});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SmtpSinkServer sink(folder + QStringLiteral("/delivered"));
        const QString sinkFailed = sink.start();
        QVERIFY2(sinkFailed.isEmpty(), qPrintable(sinkFailed));
        const QProcessEnvironment env = Site(folder, dovecot.port(), sink.port(), 10);
        QVERIFY(!env.isEmpty());

        const QList<int> deliveredAfter = {2, 2, 3};
        for (int cycle = 0; cycle < 3; ++cycle) {
            if (cycle == 2)
                dovecot.deposit(QStringLiteral("archive"), Letter(3));
            const QByteArray events = Query(env);
            QVERIFY2(events.count("\t1000\t") == 3 && !events.contains("\t8022\t"),
                     events.constData());
            QCOMPARE(sink.count(), deliveredAfter[cycle]);
        }
        const QHash<QByteArray, int> once = {{Letter(1), 1}, {Letter(2), 1}, {Letter(3), 1}};
        QCOMPARE(Received(sink), once);
        QCOMPARE(dovecot.waiting(QStringLiteral("archive")).size(), 3);
        QCOMPARE(ListedIDs(env), 3);
    }

    // hollisvc is killed once the first letter's ID is listed, while the SMTP server
    // makes it wait before the second: the deletion of the first was never committed.
    // The next cycle makes it up and delivers only the others.
    void cutSessionDeliversNothingTwice() {
        const QString folder = Folder(QStringLiteral("cut"));
        DovecotServer dovecot(folder);
        const QString failed = dovecot.start(
            {{QStringLiteral("sales"), QStringLiteral("pw1"), {Letter(1), Letter(2), Letter(3)}},
             {QStringLiteral("catchall"), QStringLiteral("pw2"), {}},
             {QStringLiteral("archive"), QStringLiteral("pw3"), {}}});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SmtpSinkServer sink(folder + QStringLiteral("/delivered"));
        const QString sinkFailed = sink.start(1.5);
        QVERIFY2(sinkFailed.isEmpty(), qPrintable(sinkFailed));
        // Time-outs (10 s) well beyond the server's pause.
        const QProcessEnvironment env = Site(folder, dovecot.port(), sink.port(), 100);
        QVERIFY(!env.isEmpty());

        QProcess svc;
        svc.setProcessEnvironment(env);
        svc.start(QStringLiteral(HOLLISVC_PATH), {QStringLiteral("-query")});
        QVERIFY(svc.waitForStarted());
        QDeadlineTimer deadline(30000);
        while (ListedIDs(env) < 1 && !deadline.hasExpired() && svc.state() == QProcess::Running)
            QTest::qSleep(5);
        svc.kill();
        QVERIFY(svc.waitForFinished(5000));
        QFile killedLog(env.value(QStringLiteral("HOLLIMERE_EVENTLOG")));
        QVERIFY(killedLog.open(QIODevice::ReadOnly));
        QVERIFY2(ListedIDs(env) == 1 && sink.count() == 1, killedLog.readAll().constData());
        QCOMPARE(dovecot.waiting(QStringLiteral("sales")).size(), 3);

        const QByteArray events = Query(env);
        QVERIFY2(events.count("\t1000\t") == 3, events.constData());
        const QHash<QByteArray, int> once = {{Letter(1), 1}, {Letter(2), 1}, {Letter(3), 1}};
        QCOMPARE(Received(sink), once);
        QCOMPARE(dovecot.waiting(QStringLiteral("sales")), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestOnceDelivery)
#include "tst_oncedelivery.moc"
