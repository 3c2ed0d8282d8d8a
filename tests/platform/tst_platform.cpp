#include "EventLog.h"
#include "FakeSystemctl.h"
#include "LocalHttpServer.h"
#include "ServiceManager.h"
#include "StalledListener.h"
#include "UpdateCheck.h"
#include "WebRoutines.h"

#include <QDateTime>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList files(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void init() {
        for (const QString& name : files(dir))
            QFile::remove(dir.filePath(name));
        qputenv("HOLLIMERE_UNIT_DIR", QFile::encodeName(dir.path()));
        qputenv("HOLLIMERE_PACKAGED_UNIT_DIR", QFile::encodeName(dir.filePath("packaged")));
    }
    void cleanup() {
        qunsetenv("HOLLIMERE_PROBE_URL");
        qunsetenv("HOLLIMERE_UPDATE_URL");
        qunsetenv("HOLLIMERE_EVENTLOG");
        EventLog::SetSink(nullptr); // chosen again from the environment
    }

    void eventFileHoldsOneLinePerEntry() {
        const QString path = dir.filePath(QStringLiteral("events.log"));
        qputenv("HOLLIMERE_EVENTLOG", QFile::encodeName(path));
        EventLog::SetSink(nullptr);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QVERIFY(LogEvent(1, 9000, QStringLiteral("Error: line one\r\nline\ttwo \\ end")));
        QVERIFY(LogEvent(4, 110, QStringLiteral("Service paused")));
        const QStringList lines = QString::fromUtf8(readAll(path)).split(u'\n');
        QCOMPARE(lines.size(), 3);
        const QDateTime when =
            QDateTime::fromString(lines[0].section(u'\t', 0, 0), Qt::ISODateWithMs);
        QVERIFY2(when >= before && when <= QDateTime::currentDateTime(), qPrintable(lines[0]));
        QCOMPARE(lines[0].section(u'\t', 1),
                 QStringLiteral("1\t9000\tError: line one\\r\\nline\\ttwo \\\\ end"));
        QCOMPARE(lines[1].section(u'\t', 1), QStringLiteral("4\t110\tService paused"));
        QCOMPARE(lines[2], QString());

        qputenv("HOLLIMERE_EVENTLOG", "/nonexistent-folder/events.log");
        EventLog::SetSink(nullptr);
        QVERIFY(!LogEvent(1, 1090, QStringLiteral("unwritable")));
        QVERIFY(EventLog::MessageId(110) != EventLog::MessageId(9900));
    }

    void internetProbeConnectsForReal_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("connected");
        QTest::newRow("listening") << "listening" << true;
        QTest::newRow("nothing listens") << "closed" << false;
        QTest::newRow("silent host") << "stalled" << false;
        QTest::newRow("no host") << "" << false;
    }
    void internetProbeConnectsForReal() {
        QFETCH(QString, target);
        QFETCH(bool, connected);
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        const quint16 port = listener.serverPort();
        if (target == u"closed")
            listener.close();
        const StalledListener stalled;
        const quint16 probed = target == u"stalled" ? stalled.port() : port;
        qputenv("HOLLIMERE_PROBE_URL",
                target.isEmpty() ? QByteArray("http:///")
                                 : "http://127.0.0.1:" + QByteArray::number(probed) + "/");
        QCOMPARE(WebRoutines::Await<bool>([](QObject* context, std::function<void(bool)> done) {
                     WebRoutines::ProbeInternet(context, std::move(done), 300);
                 }),
                 connected);
    }

    void cancelledWorkNeverAnswers() {
        LocalHttpServer http;
        http.stall(QStringLiteral("/stalled"));
        const StalledListener stalled;
        qputenv("HOLLIMERE_PROBE_URL",
                "http://127.0.0.1:" + QByteArray::number(stalled.port()) + "/");
        int answers = 0;
        auto context = std::make_unique<QObject>();
        WebRoutines::ProbeInternet(
            context.get(), [&](bool) { ++answers; }, 100);
        WebRoutines::StartDownload(
            http.url(QStringLiteral("/stalled")), dir.filePath(QStringLiteral("cancelled.dat")),
            context.get(), [&](bool) { ++answers; }, 100);
        QTRY_COMPARE(http.requestedPaths().size(), 1);
        context.reset();
        QTest::qWait(300);
        QCOMPARE(answers, 0);
        QCOMPARE(files(dir), QStringList());
    }

    void versionComparison_data() {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<bool>("newer");
        QTest::newRow("minor step") << "3.1" << 3 << 0 << true;
        QTest::newRow("major step") << "4.0" << 3 << 9 << true;
        QTest::newRow("third part ignored") << "3.0.99" << 3 << 0 << false;
        QTest::newRow("equal") << "3.0" << 3 << 0 << false;
        QTest::newRow("older major, higher minor") << "2.9" << 3 << 1 << false;
        QTest::newRow("line end after the minor") << "3.1\r\n" << 3 << 0 << true;
        QTest::newRow("five parts") << "3.1.0.0.1" << 3 << 0 << true;
        QTest::newRow("six parts") << "3.1.0.0.1.2" << 3 << 0 << false;
        QTest::newRow("one part") << "4" << 3 << 0 << false;
        QTest::newRow("html error page") << "<html>4.0</html>" << 3 << 0 << false;
    }
    void versionComparison() {
        QFETCH(QString, remote);
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(bool, newer);
        QCOMPARE(UpdateCheck::IsNewerVersion(remote, major, minor), newer);
    }

    void fetchVersionText_data() {
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("found");
        QTest::newRow("a version") << QByteArray("3.1.0") << 200 << true;
        QTest::newRow("blank file") << QByteArray(" \r\n") << 200 << false;
        QTest::newRow("server error") << QByteArray("4.0") << 500 << false;
        QTest::newRow("no file") << QByteArray() << 404 << false;
    }
    void fetchVersionText() {
        QFETCH(QByteArray, served);
        QFETCH(int, status);
        QFETCH(bool, found);
        LocalHttpServer http;
        const QString remotePath = QStringLiteral("/us/software/qvlGateway/download/revision.dat");
        http.serve(remotePath, served, status);
        const QString copy = dir.filePath(QStringLiteral("Revision.dat"));
        QFile stale(copy);
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("9.9") == 3);
        stale.close();
        qputenv("HOLLIMERE_UPDATE_URL", "");
        QVERIFY(!UpdateCheck::FetchVersionText(copy)); // no server: no check
        qputenv("HOLLIMERE_UPDATE_URL", http.url().toString().toLatin1() + "/");
        QCOMPARE(UpdateCheck::FetchVersionText(copy),
                 found ? std::optional(QString::fromLatin1(served)) : std::nullopt);
        QCOMPARE(QFile::exists(copy), status == 200); // no stale copy survives
        QCOMPARE(http.requestedPaths(), QStringList{remotePath});
    }

    void unitQuotesTheProgram_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("execStart");
        QTest::newRow("plain") << "/opt/h/hollisvc"
                               << "\nExecStart=/opt/h/hollisvc\n";
        QTest::newRow("blank") << "/opt/mail gateway/hollisvc"
                               << "\nExecStart=\"/opt/mail gateway/hollisvc\"\n";
        QTest::newRow("percent sign") << "/opt/100%/hollisvc"
                                      << "\nExecStart=\"/opt/100%%/hollisvc\"\n";
    }
    void unitQuotesTheProgram() {
        QFETCH(QString, program);
        QFETCH(QString, execStart);
        QVERIFY(ServiceManager::UnitText(program).contains(execStart));
    }

    void packagedUnitIsEnabledNotCopied() {
        QFile packaged(ServiceManager::PackagedUnitPath());
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("packaged")));
        QVERIFY(packaged.open(QIODevice::WriteOnly));
        packaged.close();
        FakeSystemctl systemctl;
        QVERIFY(ServiceManager::Install(QStringLiteral("/usr/lib/hollimere/hollisvc")));
        QVERIFY(!QFile::exists(ServiceManager::UnitPath()));
        QVERIFY(ServiceManager::Uninstall());
        QVERIFY(packaged.remove());
        QCOMPARE(systemctl.calls(), (QStringList{"enable Pop3_QVL", "disable Pop3_QVL"}));
    }

    void serviceFailuresAreReported() {
        FakeSystemctl systemctl;
        systemctl.fail("enable", 1, "Access denied");
        const auto installed = ServiceManager::Install(QStringLiteral("/opt/h/hollisvc"));
        QVERIFY2(!installed && installed.error.contains("Access denied"),
                 qPrintable(installed.error));
        systemctl.fail("disable", 1);
        QVERIFY(!ServiceManager::Uninstall());
        QVERIFY(!QFile::exists(ServiceManager::UnitPath())); // the unit goes all the same
        qputenv("HOLLIMERE_UNIT_DIR", "/nonexistent-folder");
        QVERIFY(!ServiceManager::Install(QStringLiteral("/opt/h/hollisvc")));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
