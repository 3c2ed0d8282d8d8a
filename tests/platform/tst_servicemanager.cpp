#include "FakeSystemctl.h"
#include "ServiceManager.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestServiceManager : public QObject {
    Q_OBJECT

    QTemporaryDir units;
    QTemporaryDir packagedUnits;

    static QString read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void init() {
        qputenv("HOLLIMERE_UNIT_DIR", QFile::encodeName(units.path()));
        qputenv("HOLLIMERE_PACKAGED_UNIT_DIR", QFile::encodeName(packagedUnits.path()));
        QFile::remove(ServiceManager::UnitPath());
        QFile::remove(ServiceManager::PackagedUnitPath());
    }

    void unitRunsTheProgramAsANotifyService_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("execStart");
        QTest::newRow("plain") << "/opt/hollimere/hollisvc"
                               << "ExecStart=/opt/hollimere/hollisvc\n";
        QTest::newRow("blank in the folder") << "/opt/mail gateway/hollisvc"
                                             << "ExecStart=\"/opt/mail gateway/hollisvc\"\n";
        QTest::newRow("percent sign") << "/opt/100%/hollisvc"
                                      << "ExecStart=\"/opt/100%%/hollisvc\"\n";
    }
    void unitRunsTheProgramAsANotifyService() {
        QFETCH(QString, program);
        QFETCH(QString, execStart);
        const QString unit = ServiceManager::UnitText(program);
        QVERIFY(unit.contains(
            "Description=Hollimere - Enables Exchange Server to retrieve POP3 messages\n"));
        QVERIFY(unit.contains("\nType=notify\n"));
        QVERIFY(unit.contains(execStart));
        QVERIFY(unit.contains("\nWants=network-online.target\nAfter=network-online.target\n"));
        QVERIFY(unit.contains("[Install]\nWantedBy=multi-user.target\n"));
    }

    void installThenUninstall() {
        FakeSystemctl systemctl;
        QVERIFY(ServiceManager::Install(QStringLiteral("/opt/hollimere/hollisvc")));
        QCOMPARE(read(units.filePath("Pop3_QVL.service")),
                 ServiceManager::UnitText(QStringLiteral("/opt/hollimere/hollisvc")));
        QCOMPARE(systemctl.calls(), (QStringList{"daemon-reload", "enable Pop3_QVL"}));

        QVERIFY(ServiceManager::Uninstall());
        QVERIFY(!QFile::exists(units.filePath("Pop3_QVL.service")));
        QCOMPARE(systemctl.calls(), (QStringList{"daemon-reload", "enable Pop3_QVL",
                                                 "disable Pop3_QVL", "daemon-reload"}));
    }

    void packagedUnitIsEnabledNotCopied() {
        QFile packaged(ServiceManager::PackagedUnitPath());
        QVERIFY(packaged.open(QIODevice::WriteOnly));
        packaged.close();
        FakeSystemctl systemctl;
        QVERIFY(ServiceManager::Install(QStringLiteral("/usr/lib/hollimere/hollisvc")));
        QVERIFY(!QFile::exists(ServiceManager::UnitPath()));
        QVERIFY(ServiceManager::Uninstall());
        QVERIFY(QFile::exists(ServiceManager::PackagedUnitPath()));
        QCOMPARE(systemctl.calls(), (QStringList{"enable Pop3_QVL", "disable Pop3_QVL"}));
    }

    void failuresAreReported() {
        FakeSystemctl systemctl;
        systemctl.fail("enable", 1, "Access denied");
        const auto installed = ServiceManager::Install(QStringLiteral("/opt/hollimere/hollisvc"));
        QVERIFY(!installed);
        QVERIFY2(installed.error.contains("Access denied"), qPrintable(installed.error));

        systemctl.fail("disable", 1);
        QVERIFY(!ServiceManager::Uninstall());
        QVERIFY(!QFile::exists(ServiceManager::UnitPath())); // the unit goes all the same
        QVERIFY(!ServiceManager::Uninstall());               // nothing left to remove

        qputenv("HOLLIMERE_UNIT_DIR", "/nonexistent-folder");
        QVERIFY(!ServiceManager::Install(QStringLiteral("/opt/hollimere/hollisvc")));
    }

    void missingSystemctlIsAFailure() {
        qputenv("HOLLIMERE_SYSTEMCTL", "/nonexistent/systemctl");
        const auto installed = ServiceManager::Install(QStringLiteral("/opt/hollimere/hollisvc"));
        qunsetenv("HOLLIMERE_SYSTEMCTL");
        QVERIFY(!installed);
        QVERIFY(installed.error.contains("/nonexistent/systemctl"));
    }
};

QTEST_GUILESS_MAIN(TestServiceManager)
#include "tst_servicemanager.moc"
