#include "EventLog.h"
#include "FakeSystemctl.h"
#include "LocalHttpServer.h"
#include "ServiceManager.h"
#include "StalledListener.h"
#include "TableRow.h"
#include "UpdateCheck.h"
#include "WebRoutines.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

class TestPlatform : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

private slots:
    void init() {
        for (const QString& name : files())
            QFile::remove(dir.filePath(name));
        qputenv("HOLLIMERE_UNIT_DIR", QFile::encodeName(dir.path()));
        qputenv("HOLLIMERE_PACKAGED_UNIT_DIR", QFile::encodeName(dir.filePath("packaged")));
    }
    void cleanup() {
        qunsetenv("HOLLIMERE_EVENTLOG");
        EventLog::SetSink(nullptr); // chosen again from the environment
    }

    void eventFileHoldsOneLinePerEntry() {
        QFile file(dir.filePath(u"events.log"_s));
        qputenv("HOLLIMERE_EVENTLOG", QFile::encodeName(file.fileName()));
        EventLog::SetSink(nullptr);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QVERIFY(LogEvent(1, 9000, u"Error: line one\r\nline\ttwo \\ end"_s));
        QVERIFY(LogEvent(4, 110, u"Service paused"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
        QCOMPARE(lines.size(), 3);
        const QDateTime when =
            QDateTime::fromString(lines[0].section(u'\t', 0, 0), Qt::ISODateWithMs);
        QVERIFY2(when >= before && when <= QDateTime::currentDateTime(), qPrintable(lines[0]));
        QCOMPARE(lines[0].section(u'\t', 1),
                 u"1\t9000\tError: line one\\r\\nline\\ttwo \\\\ end"_s);
        QCOMPARE(lines[1].section(u'\t', 1) + lines[2], u"4\t110\tService paused"_s);
        qputenv("HOLLIMERE_EVENTLOG", "/nonexistent-folder/events.log");
        EventLog::SetSink(nullptr);
        QVERIFY(!LogEvent(1, 1090, u"unwritable"_s));
        QVERIFY(EventLog::MessageId(110) != EventLog::MessageId(9900));
    }

    void internetProbeConnectsForReal_data() {
        const auto row = CheckRows(this, &TestPlatform::probe);
        for (const char* target : {"listening", "closed", "stalled"})
            row(target, QString::fromLatin1(target));
    }
    void internetProbeConnectsForReal() { RunCheck(); }
    void probe(QString target) {
        QTcpServer listener;
        const StalledListener stalled;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        ProbeAt(target == u"stalled" ? stalled.port() : listener.serverPort());
        if (target == u"closed")
            listener.close();
        QCOMPARE(WebRoutines::Await<bool>([](QObject* context, std::function<void(bool)> done) {
                     WebRoutines::ProbeInternet(context, std::move(done), 300);
                 }),
                 target == u"listening");
    }

    void cancelledWorkNeverAnswers() {
        LocalHttpServer http;
        http.stall(u"/stalled"_s);
        const StalledListener stalled;
        ProbeAt(stalled.port());
        int answers = 0;
        auto context = std::make_unique<QObject>();
        WebRoutines::ProbeInternet(
            context.get(), [&](bool) { ++answers; }, 100);
        WebRoutines::StartDownload(
            http.url(u"/stalled"_s), dir.filePath(u"cancelled.dat"_s), context.get(),
            [&](bool) { ++answers; }, 100);
        QTRY_COMPARE(http.requestedPaths().size(), 1);
        context.reset();
        QTest::qWait(300);
        QCOMPARE(answers, 0);
        QCOMPARE(files(), QStringList());
    }

    void versionComparison_data() {
        const auto row = CheckRows(this, &TestPlatform::newerThan30);
        for (const char* v : {"3.1", "4.0", "3.1\r\n", "3.1.0.0.1"})
            row(v, QString::fromLatin1(v), true);
        for (const char* v : {"3.0.99", "2.9", "3.1.0.0.1.2", "4", "<html>4.0</html>"})
            row(v, QString::fromLatin1(v), false);
    }
    void versionComparison() { RunCheck(); }
    void newerThan30(QString remote, bool newer) {
        QCOMPARE(UpdateCheck::IsNewerVersion(remote, 3, 0), newer);
    }

    void fetchVersionText_data() {
        const auto row = CheckRows(this, &TestPlatform::fetched);
        row("a version", QByteArray("3.1.0"), 200);
        row("blank file", QByteArray(" \r\n"), 200);
        row("server error", QByteArray("4.0"), 500);
    }
    void fetchVersionText() { RunCheck(); }
    void fetched(QByteArray served, int status) {
        LocalHttpServer http;
        const QString remotePath = u"/us/software/qvlGateway/download/revision.dat"_s;
        http.serve(remotePath, served, status);
        QFile copy(dir.filePath(u"Revision.dat"_s));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write("9.9") == 3);
        copy.close();
        qputenv("HOLLIMERE_UPDATE_URL", "");
        QVERIFY(!UpdateCheck::FetchVersionText(copy.fileName())); // no server: no check
        qputenv("HOLLIMERE_UPDATE_URL", http.url().toString().toLatin1() + "/");
        const bool found = status == 200 && !served.trimmed().isEmpty();
        QCOMPARE(UpdateCheck::FetchVersionText(copy.fileName()),
                 found ? std::optional(QString::fromLatin1(served)) : std::nullopt);
        QCOMPARE(copy.exists(), status == 200); // no stale copy survives
        QCOMPARE(http.requestedPaths(), QStringList{remotePath});
        qunsetenv("HOLLIMERE_UPDATE_URL");
    }

    void unitQuotesTheProgram_data() {
        const auto row = CheckRows(this, &TestPlatform::execStart);
        row("plain", "/opt/h/hollisvc", "=/opt/h/hollisvc\n");
        row("blank", "/opt/mail gateway/hollisvc", "=\"/opt/mail gateway/hollisvc\"\n");
        row("percent sign", "/opt/100%/hollisvc", "=\"/opt/100%%/hollisvc\"\n");
    }
    void unitQuotesTheProgram() { RunCheck(); }
    void execStart(QString program, QString line) {
        QVERIFY(ServiceManager::UnitText(program).contains(u"\nExecStart"_s + line));
    }

    void systemctlIsAskedAndItsFailuresReported() {
        FakeSystemctl systemctl;
        // A packaged unit is enabled, not copied.
        QFile packaged(ServiceManager::PackagedUnitPath());
        QVERIFY(QDir(dir.path()).mkpath(u"packaged"_s) && packaged.open(QIODevice::WriteOnly));
        QVERIFY(ServiceManager::Install(u"/usr/lib/hollimere/hollisvc"_s));
        QVERIFY(!QFile::exists(ServiceManager::UnitPath()));
        QVERIFY(ServiceManager::Uninstall() && packaged.remove());
        QCOMPARE(systemctl.calls(), (QStringList{"enable Pop3_QVL", "disable Pop3_QVL"}));
        systemctl.fail("enable", 1, "Access denied");
        const auto installed = ServiceManager::Install(u"/opt/h/hollisvc"_s);
        QVERIFY2(!installed && installed.error.contains("Access denied"),
                 qPrintable(installed.error));
        systemctl.fail("disable", 1);
        QVERIFY(!ServiceManager::Uninstall());
        QVERIFY(!QFile::exists(ServiceManager::UnitPath())); // the unit goes all the same
        qputenv("HOLLIMERE_UNIT_DIR", "/nonexistent-folder");
        QVERIFY(!ServiceManager::Install(u"/opt/h/hollisvc"_s));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
