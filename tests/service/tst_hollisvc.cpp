#include "FakeSystemctl.h"
#include "FileMod.h"
#include "LoopbackSite.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

// The built program, run as a user or systemd would run it.
class TestHollisvc : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // Runs hollisvc with the data folder and event log of this test.
    QProcess* start(const QStringList& arguments, int secondMs = 1000) {
        auto* p = new QProcess(this);
        p->setProcessEnvironment(HollisvcEnvironment(dir.path(), eventLog(), secondMs));
        p->start(QStringLiteral(HOLLISVC_PATH), arguments);
        return p;
    }

    static bool finish(QProcess* p, int ms) {
        return p->waitForFinished(ms) && p->exitStatus() == QProcess::NormalExit;
    }

    QString eventLog() const { return dir.filePath(QStringLiteral("events.log")); }

    // The event log so far: a line an entry, its fields split by tabs.
    QByteArray events() const { return ReadFile(eventLog()); }

private slots:
    void cleanup() {
        for (QProcess* p : findChildren<QProcess*>()) {
            p->kill();
            p->waitForFinished();
            delete p;
        }
    }

    void init() {
        QFile::remove(eventLog());
        QFile::remove(FileMod::DataFilePath(dir.path()));
    }

    void switchesAnswerOnTheTerminal_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // how stdout starts
        QTest::addColumn<QString>("err");
        QTest::newRow("setup") << QStringList{"-SETUP", "-debug"} << 0
                               << "There is no longer a setup mode within this program, please "
                                  "use the QVL Hollimere Management Console\n"
                               << "";
        QTest::newRow("conflict") << QStringList{"-uninstall", "-install"} << 1 << ""
                                  << "You cannot install and uninstall at the same time, use only "
                                     "one switch.\n";
        QTest::newRow("no switch outside systemd") << QStringList{"install"} << 2 << ""
                                                   << "-debug";
        QTest::newRow("help before anything")
            << QStringList{"-install", "--help", "-query"} << 0 << "Usage: hollisvc [-install"
            << "";
        QTest::newRow("version instead of a run")
            << QStringList{"-debug", "--VERSION"} << 0 << "hollisvc 3."
            << "";
    }
    void switchesAnswerOnTheTerminal() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess* p = start(arguments);
        QVERIFY(finish(p, 10000));
        QCOMPARE(p->exitCode(), status);
        const QString printed = QString::fromUtf8(p->readAllStandardOutput());
        QCOMPARE(printed.left(out.size()), out);
        QCOMPARE(printed.isEmpty(), out.isEmpty());
        QVERIFY(QString::fromUtf8(p->readAllStandardError()).contains(err));
        QVERIFY(events().isEmpty());
    }

    void installAndUninstall() {
        FakeSystemctl systemctl;
        QTemporaryDir units;
        qputenv("HOLLIMERE_UNIT_DIR", QFile::encodeName(units.path()));
        qputenv("HOLLIMERE_PACKAGED_UNIT_DIR", QFile::encodeName(units.filePath("none")));
        const mode_t umask = ::umask(077); // the unit is readable by all even so
        QProcess* p = start({QStringLiteral("-install"), QStringLiteral("-query")});
        ::umask(umask);
        QVERIFY(finish(p, 10000));
        QCOMPARE(p->readAllStandardOutput(), QByteArray("Service Installed\n"));
        QCOMPARE(p->readAllStandardError(), QByteArray());
        QFile unit(units.filePath(QStringLiteral("Pop3_QVL.service")));
        QVERIFY(unit.permissions().testFlag(QFile::ReadOther));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        QVERIFY(unit.readAll().contains(
            "\nExecStart=" + QFile::encodeName(QStringLiteral(HOLLISVC_PATH)) + '\n'));
        unit.close();
        p = start({QStringLiteral("-uninstall")});
        QVERIFY(finish(p, 10000));
        QCOMPARE(p->readAllStandardOutput(), QByteArray("Service Uninstalled\n"));
        QVERIFY(!unit.exists());
        QCOMPARE(systemctl.calls(), (QStringList{"daemon-reload", "enable Pop3_QVL",
                                                 "disable Pop3_QVL", "daemon-reload"}));
        p = start({QStringLiteral("-uninstall")}); // nothing left: an error, not a success
        QVERIFY(finish(p, 10000));
        QCOMPARE(p->exitCode(), 1);
        QVERIFY(p->readAllStandardOutput().isEmpty());
        qunsetenv("HOLLIMERE_UNIT_DIR");
        qunsetenv("HOLLIMERE_PACKAGED_UNIT_DIR");
    }

    // Pause, continue and stop are answered at once while a session waits for a POP3
    // server that accepts and never says a word.
    void debugRunObeysSignalsWhileASessionWaits() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        Configuration c = LoopbackSite(silent.serverPort(), silent.serverPort(), 5);
        c.Settings.PopTimeout = QStringLiteral("300");
        QVERIFY(FileMod::SaveData(c, FileMod::DataFilePath(dir.path())));

        QProcess* p = start({QStringLiteral("-debug")}, 20); // the first tick comes soon
        QVERIFY(p->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 10000);
        ::kill(pid_t(p->processId()), SIGUSR1);
        QTRY_VERIFY_WITH_TIMEOUT(events().contains("\t110\tService paused"), 1000);
        ::kill(pid_t(p->processId()), SIGUSR2);
        QTRY_VERIFY_WITH_TIMEOUT(events().contains("\t110\tService resumed"), 1000);
        QElapsedTimer stopping;
        stopping.start();
        p->terminate();
        QVERIFY(finish(p, 5000));
        QCOMPARE(p->exitCode(), 0);
        QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestHollisvc)
#include "tst_hollisvc.moc"
