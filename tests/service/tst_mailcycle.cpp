#include "CommandLine.h"
#include "CtrlFrm.h"
#include "FileMod.h"
#include "LocalHttpServer.h"
#include "MemoryEventLog.h"
#include "StalledListener.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr int SecondMs = 10;
const QString RevisionPath = QStringLiteral("/us/software/qvlGateway/download/revision.dat");
const QString Lost = QStringLiteral("2 8000 Lost connection/Timed out to: pop%1.example, This can "
                                    "be the result of remote server down time or and invalid "
                                    "username, password or mail settings");
const QString Success =
    QStringLiteral("4 1000 Mail Retrieval and Delivery was successful on pop%1.example "
                   "(unencrypted)");

Configuration configWith(int accounts) {
    Configuration c;
    c.Settings.FileKey =
        QStringLiteral("QbZxWkTrNmPqLsHvJdFgCyRtUeIoPzBnMxKwVcSbDfGhJkLqWeRtYuIoPzXcVbNm");
    c.Settings.SmtpServer = QStringLiteral("127.0.0.1");
    c.Settings.SmtpPort = QStringLiteral("25");
    c.Settings.LocalDomain = QStringLiteral("example.org");
    c.Settings.CheckInterval = 10;
    c.Settings.LogMode = QStringLiteral("2");
    c.Settings.NoInternetCheck = QStringLiteral("1");
    for (int i = 0; i < accounts; ++i)
        c.Accounts[i] = {QStringLiteral("acct%1").arg(i),
                         QStringLiteral("pop%1.example").arg(i),
                         QStringLiteral("u"),
                         QStringLiteral("p"),
                         false,
                         QStringLiteral("x"),
                         QString(),
                         false};
    return c;
}

// An Internet probe that finds nothing listening.
void probeFails(Configuration& c) {
    c.Settings.NoInternetCheck = QStringLiteral("0");
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    qputenv("HOLLIMERE_PROBE_URL",
            "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "/");
}

QStringList texts(const MemoryEventLog& log) {
    QStringList out;
    for (const auto& e : log.entries())
        out << QStringLiteral("%1 %2 %3").arg(e.type).arg(e.id).arg(e.text);
    return out;
}

} // namespace

class TestMailCycle : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QStringList served; // the mail servers of the sessions run
    bool sessionsSucceed = true;
    bool sessionsWaitForStop = false;
    QDate today;
    std::unique_ptr<CtrlFrm> ctrl;

    QString dataFile() const { return FileMod::DataFilePath(dir.path()); }
    void save(const Configuration& c) { QVERIFY(FileMod::SaveData(c, dataFile())); }

    void make(bool queryMode = false) {
        CtrlFrm::Setup setup{dataFile(), dir.path(), SecondMs, queryMode, {}, [this] {
                                 return today;
                             }};
        setup.retrieve = [this](SessionSlot& slot, const AccountRecord& account) {
            QMetaObject::invokeMethod(
                this, [this, server = account.MailServer] { served.append(server); });
            while (sessionsWaitForStop && !slot.StopRequested())
                slot.LetEventsRun();
            return sessionsSucceed && !sessionsWaitForStop;
        };
        ctrl = std::make_unique<CtrlFrm>(setup);
    }

    // One cycle tick, and the cycle it may start run to its end.
    void tick() {
        ctrl->MailCycle();
        QTRY_VERIFY_WITH_TIMEOUT(!ctrl->CycleRunning(), 5000);
    }

private slots:
    void init() {
        served.clear();
        sessionsSucceed = true;
        sessionsWaitForStop = false;
        today = QDate(2026, 12, 7); // a Monday
        QFile::remove(dataFile());
        qputenv("HOLLIMERE_UPDATE_URL", "");
    }
    void cleanup() {
        ctrl.reset();
        qunsetenv("HOLLIMERE_PROBE_URL");
    }

    void cycleServesEveryAccount_data() {
        QTest::addColumn<QString>("multitask");
        QTest::addColumn<bool>("queryMode");
        QTest::addColumn<QString>("logMode");
        QTest::addColumn<bool>("succeed");
        QTest::addColumn<QStringList>("expected"); // in order, or sorted for multitask
        const QString finished = QStringLiteral("0 1001 Finished mail query");
        const QString cued =
            QStringLiteral("0 1001 All POP servers were cued for message retrieval and delivery");
        const auto each = [](const QString& text) {
            return QStringList{text.arg(0), text.arg(1), text.arg(2)};
        };
        const auto row = [](const char* tag, const char* multitask, bool query, const char* level,
                            bool succeed, const QStringList& expected) {
            QTest::newRow(tag) << multitask << query << level << succeed << expected;
        };
        row("medium", "0", false, "2", true, {finished});
        row("blank level", "0", false, "", true, {finished});
        row("high", "0", false, "3", true, each(Success) + QStringList{finished});
        row("failing: never a success", "0", false, "3", false, each(Lost) + QStringList{finished});
        row("multitask", "True", false, "3", true, QStringList{cued} + each(Success));
        row("multitask failing", "1", false, "2", false, QStringList{cued} + each(Lost));
        row("query mode is sequential", "1", true, "2", true, {finished});
    }
    void cycleServesEveryAccount() {
        QFETCH(QString, multitask);
        QFETCH(bool, queryMode);
        QFETCH(QString, logMode);
        QFETCH(bool, succeed);
        QFETCH(QStringList, expected);
        Configuration c = configWith(3);
        c.Settings.MultitaskMode = multitask;
        c.Settings.LogMode = logMode;
        save(c);
        sessionsSucceed = succeed;
        make(queryMode);
        QSignalSpy finished(ctrl.get(), &CtrlFrm::queryFinished);
        MemoryEventLog log;
        tick();
        QTRY_COMPARE_WITH_TIMEOUT(log.entries().size(), expected.size(), 5000);
        QStringList got = texts(log);
        if (multitask != u"0" && !queryMode) {
            served.sort();
            std::sort(got.begin() + 1, got.end());
        }
        QCOMPARE(served, (QStringList{"pop0.example", "pop1.example", "pop2.example"}));
        QCOMPARE(got, expected);
        QCOMPARE(ctrl->NextQueryTime(), 600);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), queryMode ? 1 : 0, 5000);
    }

    void schedule_data() {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("secondsLater");
        QTest::addColumn<int>("newInterval");
        QTest::addColumn<bool>("due");
        QTest::newRow("not due yet") << 10 << 300 << 10 << false;
        QTest::newRow("due") << 10 << 600 << 10 << true;
        QTest::newRow("interval shortened below the wait") << 60 << 600 << 10 << true;
        QTest::newRow("negative runs on every tick") << -5 << 0 << -5 << true;
        QTest::newRow("1000 minutes, not due") << 1000 << 59000 << 1000 << false;
        QTest::newRow("1000 minutes, due") << 1000 << 60000 << 1000 << true;
    }
    void schedule() {
        QFETCH(int, interval);
        QFETCH(int, secondsLater);
        QFETCH(int, newInterval);
        QFETCH(bool, due);
        Configuration c = configWith(1);
        c.Settings.CheckInterval = qint16(interval);
        save(c);
        make();
        tick();
        QCOMPARE(ctrl->NextQueryTime(), qMax(0, interval * 60));
        c.Settings.CheckInterval = qint16(newInterval);
        save(c);
        ctrl->Clock().set(secondsLater);
        MemoryEventLog log;
        tick();
        QCOMPARE(served.size(), due ? 2 : 1);
        QCOMPARE(log.ids(), due ? QList<qint32>{1001} : QList<qint32>{});
    }

    void preChecksStopTheCycle_data() {
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("nextQuery");
        QTest::addColumn<bool>("updateChecked");
        const auto row = [](const char* what, const char* event, int next, bool checked) {
            QTest::newRow(what) << QString::fromLatin1(event) << next << checked;
        };
        row("no file", "1 1200 Data File Not setup, Run QVL POP3 Management Console.", 300, false);
        row("damaged", "1 1090 Read Engine Error: Record 2840 is cut short", 300, false);
        row("offline", "1 8010 Internet Connection was not detected", 600, false);
        row("no smtp", "1 8897 No SMTP Server defined.", 600, true);
        row("no domain", "1 8897 No SMTP Server defined.", 600, true);
        row("bad port", "1 8898 SMTP port is not a number from 1 to 65535: 65536", 600, true);
        row("monday", "4 1002 Mail is not scheduled to be downloaded on Monday", 600, true);
    }
    void preChecksStopTheCycle() {
        const QString what = QString::fromLatin1(QTest::currentDataTag());
        QFETCH(QString, event);
        QFETCH(int, nextQuery);
        QFETCH(bool, updateChecked);
        LocalHttpServer http;
        http.serve(RevisionPath, "3.0");
        qputenv("HOLLIMERE_UPDATE_URL", http.url().toString().toLatin1());
        Configuration c = configWith(2);
        if (what == u"no smtp")
            c.Settings.SmtpServer.clear();
        if (what == u"no domain")
            c.Settings.LocalDomain.clear();
        if (what == u"bad port")
            c.Settings.SmtpPort = QStringLiteral("65536");
        if (what == u"offline")
            probeFails(c);
        c.Settings.NoMailDays[1] = what == u"monday";
        if (what != u"no file")
            save(c);
        if (what == u"damaged")
            QVERIFY(QFile::resize(dataFile(), QFileInfo(dataFile()).size() - 1));
        make();
        MemoryEventLog log;
        tick();
        QCOMPARE(log.entries().size(), 1);
        QVERIFY2(texts(log).at(0).startsWith(event), qPrintable(texts(log).at(0)));
        QVERIFY(served.isEmpty());
        QCOMPARE(ctrl->NextQueryTime(), nextQuery);
        QCOMPARE(http.requestedPaths().size(), updateChecked ? 1 : 0);
    }

    void updateCheckOncePerDay() {
        LocalHttpServer http;
        qputenv("HOLLIMERE_UPDATE_URL", http.url().toString().toLatin1());
        Configuration c = configWith(0);
        c.Settings.CheckInterval = 0;
        save(c);
        make();
        MemoryEventLog log;
        tick(); // not found: asked again at the next cycle
        http.serve(RevisionPath, "3.1");
        tick();
        tick();
        QCOMPARE(http.requestedPaths(), (QStringList{RevisionPath, RevisionPath}));
        QCOMPARE(log.ids(), (QList<qint32>{1001, 9900, 1001, 1001}));
        QCOMPARE(texts(log).at(1),
                 QStringLiteral("4 9900 There is a new version (3.1) of this service available.  "
                                "Goto %1/software/QVL_POP3/download.htm")
                     .arg(http.url().toString()));
        today = today.addDays(1);
        tick();
        QCOMPARE(http.requestedPaths().size(), 3);
    }

    void stopIsAnsweredWhileTheWebWaits_data() {
        QTest::addColumn<bool>("probe");
        QTest::newRow("Internet probe of a silent host") << true;
        QTest::newRow("version download from a silent server") << false;
    }
    void stopIsAnsweredWhileTheWebWaits() {
        QFETCH(bool, probe);
        const StalledListener silentHost;
        LocalHttpServer http;
        http.stall(RevisionPath);
        Configuration c = configWith(1);
        if (probe) {
            c.Settings.NoInternetCheck = QStringLiteral("0");
            qputenv("HOLLIMERE_PROBE_URL",
                    "http://127.0.0.1:" + QByteArray::number(silentHost.port()) + "/");
        } else {
            qputenv("HOLLIMERE_UPDATE_URL", http.url().toString().toLatin1());
        }
        save(c);
        make();
        QSignalSpy stopped(ctrl.get(), &CtrlFrm::stopped);
        MemoryEventLog log;
        QElapsedTimer elapsed;
        elapsed.start();
        QTimer::singleShot(200, ctrl.get(), &CtrlFrm::Stop);
        ctrl->MailCycle();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.size(), 1, 1000);
        QVERIFY2(elapsed.elapsed() < 1000, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(http.requestedPaths().size(), probe ? 0 : 1);
        QVERIFY(log.entries().isEmpty());
        QVERIFY(served.isEmpty());
    }

    void stopEndsAWaitingSession() {
        Configuration c = configWith(2);
        c.Settings.CheckInterval = 0; // due at every tick
        save(c);
        sessionsWaitForStop = true;
        make();
        MemoryEventLog log;
        ctrl->MailCycle();
        QTRY_COMPARE_WITH_TIMEOUT(served.size(), 1, 5000);
        c.Settings.SmtpServer.clear(); // a tick that got through would report it
        save(c);
        ctrl->MailCycle();
        QTest::qWait(50);
        QVERIFY(ctrl->CycleRunning() && log.entries().isEmpty());
        QSignalSpy stopped(ctrl.get(), &CtrlFrm::stopped);
        ctrl->Stop();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.size(), 1, 2000);
        QCOMPARE(served.size(), 1); // the second account is not started
        QVERIFY(log.entries().isEmpty());
    }

    void pauseAndContinueSwitchTheCycleTimer() {
        save(configWith(0));
        make();
        MemoryEventLog log;
        ctrl->Start();
        ctrl->Pause();
        QVERIFY(!ctrl->CycleTimerOn());
        ctrl->Continue();
        QCOMPARE(texts(log), (QStringList{"4 110 Service paused", "4 110 Service resumed"}));
        // The timer's first tick runs the cycle that is due at start.
        QTRY_COMPARE_WITH_TIMEOUT(log.ids().size(), 3, 5000);
        QCOMPARE(log.ids().last(), 1001);
    }

    // Which switches a command line sets; what they do is the program's test.
    void switches_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("set"); // i u d s q h v, in that order
        const auto row = [](const char* line, const char* set) {
            QTest::addRow("\"%s\"", line) << QString::fromLatin1(line) << QString::fromLatin1(set);
        };
        row("", "");
        row("-INSTALL", "i");
        row("-uninstall -install", "iu");
        row("-debug -query -install", "idq");
        row("-setup -Debug", "ds");
        row("install", "");
        row("-verbose", "");
        row("now -query please", "dq");
        row("-install-debug", "d");
        row("-debugx -uninstall", "u");
        row("-install --help -query", "idqh");
        row("-debug --VERSION", "dv");
    }
    void switches() {
        QFETCH(QString, line);
        QFETCH(QString, set);
        const Switches s = ParseSwitches(line.split(u' ', Qt::SkipEmptyParts));
        QString seen;
        for (const auto& [flag, letter] : {std::pair{s.install, u'i'},
                                           {s.uninstall, u'u'},
                                           {s.debug, u'd'},
                                           {s.setup, u's'},
                                           {s.query, u'q'},
                                           {s.help, u'h'},
                                           {s.version, u'v'}})
            if (flag)
                seen += letter;
        QCOMPARE(seen, set);
    }
};

QTEST_GUILESS_MAIN(TestMailCycle)
#include "tst_mailcycle.moc"
