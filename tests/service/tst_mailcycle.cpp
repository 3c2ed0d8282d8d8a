#include "CommandLine.h"
#include "CtrlFrm.h"
#include "LocalHttpServer.h"
#include "MemoryEventLog.h"
#include "RecordLayout.h"
#include "StalledListener.h"
#include "TableRow.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using Ids = QList<qint32>;

namespace {

const QString RevisionPath = u"/us/software/qvlGateway/download/revision.dat"_s;

QStringList texts(const MemoryEventLog& log) {
    QStringList out;
    for (const auto& e : log.entries())
        out << u"%1 %2 %3"_s.arg(e.type).arg(e.id).arg(e.text);
    return out;
}

} // namespace

class TestMailCycle : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    Configuration config;
    QStringList served; // the mail servers of the sessions run
    bool sessionsSucceed = true;
    bool sessionsWaitForStop = false;
    QDate today;
    std::optional<LocalHttpServer> http;
    std::unique_ptr<CtrlFrm> ctrl;
    MemoryEventLog log;

    QString dataFile() const { return FileMod::DataFilePath(dir.path()); }
    void save() { QVERIFY(FileMod::SaveData(config, dataFile())); }

    // Saves the configuration and makes the service's cycle on it.
    void make(bool queryMode = false) {
        save();
        CtrlFrm::Setup setup{dataFile(), dir.path(), 10, queryMode, {}, [this] {
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
        log.clear();
        sessionsSucceed = true;
        sessionsWaitForStop = false;
        today = QDate(2026, 12, 7); // a Monday
        QFile::remove(dataFile());
        http.emplace(); // serves nothing: no update is found
        qputenv("HOLLIMERE_UPDATE_URL", http->url().toEncoded());
        // Three accounts, every setting set; medium logging, due every ten minutes.
        QVERIFY(FileMod::LoadData(config, HOLLIMERE_TEST_DATA "/typical.ini"_L1,
                                  FileMod::KeyPolicy::RequireKey));
        config.Settings.LogMode = u"2"_s;
        config.Settings.CheckInterval = 10;
    }
    void cleanup() {
        ctrl.reset();
        qunsetenv("HOLLIMERE_PROBE_URL");
    }

    void cycleServesEveryAccount_data() {
        const auto row = CheckRows(this, &TestMailCycle::cycle);
        // Events: 1001 after a sequential cycle, first else.
        row("medium", "0", false, "2", true, Ids{1001});
        row("failing: never a success", "0", false, "3", false, Ids{8000, 8000, 8000, 1001});
        row("multitask", "True", false, "3", true, Ids{1001, 1000, 1000, 1000});
        row("query mode is sequential", "1", true, "3", true, Ids{1000, 1000, 1000, 1001});
    }
    void cycleServesEveryAccount() { RunCheck(); }
    void cycle(QString multitask, bool queryMode, QString logMode, bool succeed, Ids events) {
        config.Settings.MultitaskMode = multitask;
        config.Settings.LogMode = logMode;
        sessionsSucceed = succeed;
        make(queryMode);
        QSignalSpy finished(ctrl.get(), &CtrlFrm::queryFinished);
        tick();
        QTRY_COMPARE_WITH_TIMEOUT(log.ids(), events, 5000);
        for (const auto& e : log.entries())
            QVERIFY2(e.id == 1001 || e.text.contains(u".isp.example"), qPrintable(e.text));
        served.sort();
        QCOMPARE(served,
                 (QStringList{"pop.isp.example", "pop.isp.example", "pop2.isp.example:995"}));
        QCOMPARE(ctrl->NextQueryTime(), 600);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), queryMode ? 1 : 0, 5000);
    }

    void schedule_data() {
        const auto row = CheckRows(this, &TestMailCycle::scheduled);
        row("due", 10, 600, 10, true);
        row("interval shortened below the wait", 60, 600, 10, true);
        row("negative runs on every tick", -5, 0, -5, true);
        row("1000 minutes, not due", 1000, 59000, 1000, false);
    }
    void schedule() { RunCheck(); }
    void scheduled(int interval, int secondsLater, int newInterval, bool due) {
        config.Settings.CheckInterval = qint16(interval);
        make();
        tick();
        QCOMPARE(ctrl->NextQueryTime(), qMax(0, interval * 60));
        config.Settings.CheckInterval = qint16(newInterval);
        save();
        ctrl->Clock().set(secondsLater);
        log.clear();
        tick();
        QCOMPARE(served.size(), due ? 6 : 3);
        QCOMPARE(log.ids(), due ? Ids{1001} : Ids{});
    }

    void preChecksStopTheCycle_data() {
        // A setting changed, or no file, or a damaged one.
        const auto check = CheckRows(this, &TestMailCycle::preChecked);
        const auto row = [&](const char* field, const char* value, auto... rest) {
            check(QByteArray(field) + " \"" + value + '"', field, value, rest...);
        };
        row("no file", "", "1 1200 Data File Not setup, Run QVL POP3 Management Console.", 300,
            false);
        row("damaged", "", "1 1090 Read Engine Error: Record 2840 is cut short", 300, false);
        row("NoInternetCheck", "0", "1 8010 Internet Connection was not detected", 600, false);
        row("SmtpServer", "", "1 8897 No SMTP Server defined.", 600, true);
        row("LocalDomain", "", "1 8897 No SMTP Server defined.", 600, true);
        row("SmtpPort", "65536", "1 8898 SMTP port is not a number from 1 to 65535: 65536", 600,
            true);
        row("", "", "4 1002 Mail is not scheduled to be downloaded on Monday", 600, true);
    }
    void preChecksStopTheCycle() { RunCheck(); }
    void preChecked(QString field, QString value, QString event, int nextQuery,
                    bool updateChecked) {
        http->serve(RevisionPath, "3.0");
        QTcpServer closed; // the Internet probe finds nothing listening
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        ProbeAt(closed.serverPort());
        closed.close();
        config.Settings.NoMailDays[1] = true; // Monday: the last check
        for (const auto& f : FileMod::SettingFields)
            if (field == QLatin1String(f.name))
                config.Settings.*std::get<QString ConfigSettings::*>(f.member) = value;
        make();
        if (field == u"no file")
            QVERIFY(QFile::remove(dataFile()));
        if (field == u"damaged")
            QVERIFY(QFile::resize(dataFile(), QFileInfo(dataFile()).size() - 1));
        tick();
        QCOMPARE(log.entries().size(), 1);
        QVERIFY2(texts(log).at(0).startsWith(event), qPrintable(texts(log).at(0)));
        QVERIFY(served.isEmpty());
        QCOMPARE(ctrl->NextQueryTime(), nextQuery);
        QCOMPARE(http->requestedPaths().size(), updateChecked ? 1 : 0);
    }

    void updateCheckOncePerDay() {
        config.Settings.CheckInterval = 0;
        make();
        tick(); // not found: asked again at the next cycle
        http->serve(RevisionPath, "3.1");
        tick();
        tick();
        QCOMPARE(http->requestedPaths(), (QStringList{RevisionPath, RevisionPath}));
        QCOMPARE(log.ids(), (Ids{1001, 9900, 1001, 1001}));
        QCOMPARE(log.entries().at(1).text,
                 u"There is a new version (3.1) of this service available.  Goto "_s +
                     http->url().toString() + u"/software/QVL_POP3/download.htm"_s);
        today = today.addDays(1);
        tick();
        QCOMPARE(http->requestedPaths().size(), 3);
    }

    void stopIsAnsweredWhileTheWebWaits_data() {
        QTest::addColumn<bool>("probe");
        QTest::newRow("Internet probe of a silent host") << true;
        QTest::newRow("version download from a silent server") << false;
    }
    void stopIsAnsweredWhileTheWebWaits() {
        QFETCH(bool, probe);
        const StalledListener silentHost;
        http->stall(RevisionPath);
        if (probe)
            config.Settings.NoInternetCheck = u"0"_s;
        ProbeAt(silentHost.port());
        make();
        QSignalSpy stopped(ctrl.get(), &CtrlFrm::stopped);
        QElapsedTimer elapsed;
        elapsed.start();
        QTimer::singleShot(200, ctrl.get(), &CtrlFrm::Stop);
        ctrl->MailCycle();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.size(), 1, 1000);
        QVERIFY2(elapsed.elapsed() < 1000, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(http->requestedPaths().size(), probe ? 0 : 1);
        QVERIFY(log.entries().isEmpty() && served.isEmpty());
    }

    void stopEndsAWaitingSession() {
        config.Settings.CheckInterval = 0; // due at every tick
        sessionsWaitForStop = true;
        make();
        ctrl->MailCycle();
        QTRY_COMPARE_WITH_TIMEOUT(served.size(), 1, 5000);
        config.Settings.SmtpServer.clear(); // a tick that got through would report it
        save();
        ctrl->MailCycle();
        QTest::qWait(50);
        QVERIFY(ctrl->CycleRunning() && log.entries().isEmpty());
        QSignalSpy stopped(ctrl.get(), &CtrlFrm::stopped);
        ctrl->Stop();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.size(), 1, 2000);
        QCOMPARE(served.size(), 1); // the next account is not started
        QVERIFY(log.entries().isEmpty());
    }

    void pauseAndContinueSwitchTheCycleTimer() {
        make();
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
        const auto check = CheckRows(this, &TestMailCycle::switchesSet);
        // The switches set: i u d s q h v, in that order.
        const auto row = [&](const char* line, const char* set) {
            check(line, line, set);
        };
        row("-version -help -query -setup -debug -uninstall -install", "iudsqhv");
        row("-INSTALL -Setup", "is");
        row("install -verbose", "");
        row("now -query please", "dq");
        row("-install-debug", "d");
        row("-debugx --VERSION", "v");
    }
    void switches() { RunCheck(); }
    void switchesSet(QString line, QString set) {
        const Switches s = ParseSwitches(line.split(u' ', Qt::SkipEmptyParts));
        const bool flags[] = {s.install, s.uninstall, s.debug, s.setup, s.query, s.help, s.version};
        QString seen;
        for (int i = 0; i < 7; ++i)
            if (flags[i])
                seen += u"iudsqhv"_s.at(i);
        QCOMPARE(seen, set);
    }
};

QTEST_GUILESS_MAIN(TestMailCycle)
#include "tst_mailcycle.moc"
