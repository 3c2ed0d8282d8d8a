#include "FakeServiceDirectory.h"
#include "FakeSystemctl.h"
#include "ServiceDirectory.h"
#include "modService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// An executable shell script named `systemctl` in `dir`.
QString writeSystemctl(const QTemporaryDir& dir, const QByteArray& body) {
    QFile script(dir.filePath(QStringLiteral("systemctl")));
    if (!script.open(QIODevice::WriteOnly))
        return {};
    script.write("#!/bin/sh\n" + body);
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return script.fileName();
}

} // namespace

class TestServicePoll : public QObject {
    Q_OBJECT

private slots:
    void unitState_data() {
        QTest::addColumn<QString>("load");
        QTest::addColumn<QString>("active");
        QTest::addColumn<QString>("freezer");
        QTest::addColumn<int>("status");
        QTest::newRow("stopped") << "loaded"
                                 << "inactive"
                                 << "running" << 1;
        QTest::newRow("failed can be started again") << "loaded"
                                                     << "failed"
                                                     << "running" << 1;
        QTest::newRow("starting") << "loaded"
                                  << "activating"
                                  << "running" << 2;
        QTest::newRow("stopping") << "loaded"
                                  << "deactivating"
                                  << "running" << 3;
        QTest::newRow("running") << "loaded"
                                 << "active"
                                 << "running" << 4;
        QTest::newRow("reloading") << "loaded"
                                   << "reloading"
                                   << "running" << 4;
        QTest::newRow("thawing") << "loaded"
                                 << "active"
                                 << "thawing" << 5;
        QTest::newRow("freezing") << "loaded"
                                  << "active"
                                  << "freezing" << 6;
        QTest::newRow("paused") << "loaded"
                                << "active"
                                << "frozen" << 7;
        QTest::newRow("broken unit file") << "bad-setting"
                                          << "inactive"
                                          << "" << 8;
        QTest::newRow("not found") << "not-found"
                                   << "inactive"
                                   << "" << 0;
        QTest::newRow("unknown state") << "loaded"
                                       << "maintenance"
                                       << "running" << 0;
    }
    void unitState() {
        QFETCH(QString, load);
        QFETCH(QString, active);
        QFETCH(QString, freezer);
        QFETCH(int, status);
        QCOMPARE(SystemdServiceDirectory::StatusFromUnitState(load, active, freezer), status);
    }

    void systemctlOutputIsParsed() {
        QTemporaryDir dir;
        const QString command = writeSystemctl(dir, "case \"$1\" in\n"
                                                    "list-unit-files) cat <<'END'\n"
                                                    "Pop3_QVL.service enabled enabled\n"
                                                    "ssh.service enabled enabled\n"
                                                    "getty@.service enabled enabled\n"
                                                    "tmp.mount static -\n"
                                                    "END\n;;\n"
                                                    "show) cat <<'END'\n"
                                                    "LoadState=loaded\n"
                                                    "ActiveState=activating\n"
                                                    "FreezerState=running\n"
                                                    "END\n;;\nesac\n");
        qputenv("HOLLIMERE_SYSTEMCTL", command.toLocal8Bit());
        SystemdServiceDirectory directory;
        QCOMPARE(directory.serviceNames(), QStringList({"Pop3_QVL", "ssh", "getty@"}));
        QCOMPARE(directory.serviceStatus(QStringLiteral("Pop3_QVL")), 2);
    }

    void unreachableManager_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("missing command") << "/nonexistent/systemctl";
        QTest::newRow("command fails") << "/bin/false";
    }
    void unreachableManager() {
        QFETCH(QString, command);
        qputenv("HOLLIMERE_SYSTEMCTL", command.toLocal8Bit());
        SystemdServiceDirectory directory;
        QVERIFY(directory.serviceNames().isEmpty());
        QCOMPARE(directory.serviceStatus(QStringLiteral("Pop3_QVL")), 0);
    }

    void hungManagerIsCutOff() {
        QTemporaryDir dir;
        qputenv("HOLLIMERE_SYSTEMCTL", writeSystemctl(dir, "exec sleep 30\n").toLocal8Bit());
        SystemdServiceDirectory directory(200);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(directory.serviceNames().isEmpty());
        QVERIFY2(clock.elapsed() < 5000, "a hung systemctl must not block the console");
    }

    // systemctl waits for the job; its failure, a job time-out included, is no answer.
    void startAndStop_data() {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<bool>("answered");
        QTest::newRow("started") << "start" << 0 << true;
        QTest::newRow("start job timed out") << "start" << 1 << false;
        QTest::newRow("stopped") << "stop" << 0 << true;
        QTest::newRow("stop refused") << "stop" << 4 << false;
    }
    void startAndStop() {
        QFETCH(QString, verb);
        QFETCH(int, exitStatus);
        QFETCH(bool, answered);
        FakeSystemctl systemctl;
        systemctl.fail(verb, exitStatus,
                       QStringLiteral("Job for Pop3_QVL.service failed because a timeout was "
                                      "exceeded."));
        SystemdServiceDirectory directory;
        const bool result = verb == QLatin1String("start")
                                ? directory.startService(modService::ServiceName)
                                : directory.stopService(modService::ServiceName);
        QCOMPARE(result, answered);
        QCOMPARE(systemctl.calls(), QStringList{verb + QStringLiteral(" -- Pop3_QVL.service")});
    }

    void hungStartIsCutOff() {
        QTemporaryDir dir;
        qputenv("HOLLIMERE_SYSTEMCTL", writeSystemctl(dir, "exec sleep 30\n").toLocal8Bit());
        SystemdServiceDirectory directory(2000, 200);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!directory.startService(modService::ServiceName));
        QVERIFY(clock.elapsed() < 5000);
    }

    void unreadableStatusKeepsLastText() {
        FakeServiceDirectory directory;
        directory.setService(modService::ServiceName, 1);
        ServicePoll poll(directory);
        QCOMPARE(poll.poll(), 1);
        directory.setService(modService::ServiceName, 0);
        QCOMPARE(poll.poll(), 1);
        QCOMPARE(poll.svcStatusText(), QStringLiteral("Stopped"));
        directory.setService(modService::ServiceName, 7);
        QCOMPARE(poll.poll(), 2);
        QCOMPARE(poll.svcStatusText(), QStringLiteral("Paused"));
    }
};

QTEST_GUILESS_MAIN(TestServicePoll)
#include "tst_servicepoll.moc"
