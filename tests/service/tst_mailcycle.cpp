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

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int SecondMs = 10;

const QString Key =
    QStringLiteral("QbZxWkTrNmPqLsHvJdFgCyRtUeIoPzBnMxKwVcSbDfGhJkLqWeRtYuIoPzXcVbNm");

Configuration configWith(int accounts) {
    Configuration c;
    c.Settings.FileKey = Key;
    c.Settings.SmtpServer = QStringLiteral("127.0.0.1");
    c.Settings.SmtpPort = QStringLiteral("25");
    c.Settings.LocalDomain = QStringLiteral("example.org");
    c.Settings.CheckInterval = 10;
    c.Settings.LogMode = QStringLiteral("2");
    c.Settings.NoInternetCheck = QStringLiteral("1");
    c.Settings.MultitaskMode = QStringLiteral("0");
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

// What a session of the fake mailbox saw.
struct Served {
    QStringList servers;
    bool result = true;
    bool waitForStop = false;
};

} // namespace

class TestMailCycle : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    Served served;
    QDate today = QDate(2026, 12, 7); // a Monday
    std::unique_ptr<CtrlFrm> ctrl;

    QString dataFile() const { return FileMod::DataFilePath(dir.path()); }

    void save(const Configuration& c) { QVERIFY(FileMod::SaveData(c, dataFile())); }

    void make(bool queryMode = false) {
        CtrlFrm::Setup setup;
        setup.dataFile = dataFile();
        setup.stateFolder = dir.path();
        setup.secondMs = SecondMs;
        setup.queryMode = queryMode;
        setup.today = [this] {
            return today;
        };
        setup.retrieve = [this](SessionSlot& slot, const AccountRecord& account) {
            QMetaObject::invokeMethod(
                this, [this, server = account.MailServer] { served.servers.append(server); });
            if (served.waitForStop) {
                while (!slot.StopRequested())
                    slot.LetEventsRun();
                return false;
            }
            return served.result;
        };
        ctrl = std::make_unique<CtrlFrm>(setup);
    }

    // One cycle tick, and the cycle it may start run to its end.
    void tick() {
        ctrl->MailCycle();
        QTRY_VERIFY_WITH_TIMEOUT(!ctrl->CycleRunning(), 5000);
    }

    QStringList texts(const MemoryEventLog& log) {
        QStringList out;
        for (const auto& e : log.entries())
            out << QStringLiteral("%1 %2 %3").arg(e.type).arg(e.id).arg(e.text);
        return out;
    }

private slots:
    void init() {
        served = {};
        today = QDate(2026, 12, 7);
        QFile::remove(dataFile());
        qputenv("HOLLIMERE_UPDATE_URL", "");
    }
    void cleanup() {
        ctrl.reset();
        qunsetenv("HOLLIMERE_PROBE_URL");
    }

    void sequentialCycleServesEveryAccountInOrder_data() {
        QTest::addColumn<QString>("logMode");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("expected");
        const QString finished = QStringLiteral("0 1001 Finished mail query");
        const QString success =
            QStringLiteral("4 1000 Mail Retrieval and Delivery was successful on ");
        QTest::newRow("medium") << "2" << true << QStringList{finished};
        QTest::newRow("blank level") << "" << true << QStringList{finished};
        QTest::newRow("high") << "3" << true
                              << QStringList{success + "pop0.example (unencrypted)",
                                             success + "pop1.example (unencrypted)",
                                             success + "pop2.example (unencrypted)", finished};
        const QString lost = QStringLiteral("2 8000 Lost connection/Timed out to: pop%1.example, "
                                            "This can be the result of remote server down time "
                                            "or and invalid username, password or mail settings");
        QTest::newRow("sessions failing: never a success")
            << "3" << false << QStringList{lost.arg(0), lost.arg(1), lost.arg(2), finished};
    }
    void sequentialCycleServesEveryAccountInOrder() {
        QFETCH(QString, logMode);
        QFETCH(bool, result);
        QFETCH(QStringList, expected);
        Configuration c = configWith(3);
        c.Settings.LogMode = logMode;
        save(c);
        served.result = result;
        make();
        MemoryEventLog log;
        tick();
        QCOMPARE(served.servers, (QStringList{"pop0.example", "pop1.example", "pop2.example"}));
        QCOMPARE(texts(log), expected);
        QCOMPARE(ctrl->NextQueryTime(), 600);
    }

    void schedule_data() {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("secondsLater");
        QTest::addColumn<int>("newInterval");
        QTest::addColumn<bool>("due");
        QTest::newRow("not due yet") << 10 << 300 << 10 << false;
        QTest::newRow("due") << 10 << 600 << 10 << true;
        QTest::newRow("interval shortened below the wait") << 60 << 600 << 10 << true;
        QTest::newRow("zero runs on every tick") << 0 << 0 << 0 << true;
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
        QCOMPARE(served.servers.size(), due ? 2 : 1);
        QCOMPARE(log.ids(), due ? QList<qint32>{1001} : QList<qint32>{});
    }

    void preChecksStopTheCycle_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QList<qint32>>("ids");
        QTest::addColumn<int>("nextQuery");
        QTest::newRow("no data file") << "no file" << QList<qint32>{1200} << 300;
        QTest::newRow("damaged data file") << "damaged" << QList<qint32>{1090} << 300;
        QTest::newRow("no SMTP server") << "no smtp" << QList<qint32>{8897} << 600;
        QTest::newRow("no local domain") << "no domain" << QList<qint32>{8897} << 600;
        QTest::newRow("SMTP port unusable") << "bad port" << QList<qint32>{8898} << 600;
        QTest::newRow("no Internet") << "offline" << QList<qint32>{8010} << 600;
        QTest::newRow("no mail on Mondays") << "monday" << QList<qint32>{1002} << 600;
    }
    void preChecksStopTheCycle() {
        QFETCH(QString, what);
        QFETCH(QList<qint32>, ids);
        QFETCH(int, nextQuery);
        Configuration c = configWith(2);
        QTcpServer closed;
        if (what == u"no smtp")
            c.Settings.SmtpServer.clear();
        if (what == u"no domain")
            c.Settings.LocalDomain.clear();
        if (what == u"bad port")
            c.Settings.SmtpPort = QStringLiteral("65536");
        if (what == u"offline") {
            c.Settings.NoInternetCheck = QStringLiteral("0");
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            qputenv("HOLLIMERE_PROBE_URL",
                    QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort()).toLatin1());
            closed.close();
        }
        if (what == u"monday")
            c.Settings.NoMailDays[1] = true;
        if (what != u"no file")
            save(c);
        if (what == u"damaged")
            QVERIFY(QFile::resize(dataFile(), QFileInfo(dataFile()).size() - 1));
        make();
        MemoryEventLog log;
        tick();
        QCOMPARE(log.ids(), ids);
        if (what == u"no file")
            QCOMPARE(log.entries().at(0).text,
                     QStringLiteral("Data File Not setup, Run QVL POP3 Management Console."));
        if (what == u"damaged")
            QCOMPARE(log.entries().at(0).text,
                     QStringLiteral("Read Engine Error: Record 2840 is cut short by the end of "
                                    "the file"));
        QVERIFY(served.servers.isEmpty());
        QCOMPARE(ctrl->NextQueryTime(), nextQuery);
        if (what == u"monday")
            QCOMPARE(log.entries().at(0).text,
                     QStringLiteral("Mail is not scheduled to be downloaded on Monday"));
        if (what == u"bad port")
            QCOMPARE(log.entries().at(0).text,
                     QStringLiteral("SMTP port is not a number from 1 to 65535: 65536"));
    }

    void updateCheckOncePerDayEvenWithoutMail() {
        LocalHttpServer http;
        const QString path = QStringLiteral("/us/software/qvlGateway/download/revision.dat");
        http.serve(path, "3.1");
        qputenv("HOLLIMERE_UPDATE_URL", http.url().toString().toLatin1());
        Configuration c = configWith(0);
        c.Settings.CheckInterval = 0;
        c.Settings.NoMailDays[1] = true; // Monday
        save(c);
        make();
        MemoryEventLog log;
        tick();
        tick();
        QCOMPARE(http.requestedPaths(), QStringList{path});
        QCOMPARE(log.ids(), (QList<qint32>{9900, 1002, 1002}));
        QCOMPARE(log.entries().at(0).text,
                 QStringLiteral("There is a new version (3.1) of this service available.  Goto ") +
                     http.url().toString() + QStringLiteral("/software/QVL_POP3/download.htm"));
        today = today.addDays(1);
        tick();
        QCOMPARE(http.requestedPaths().size(), 2);
    }

    void internetFailureComesBeforeTheUpdateCheck() {
        LocalHttpServer http;
        qputenv("HOLLIMERE_UPDATE_URL", http.url().toString().toLatin1());
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        qputenv("HOLLIMERE_PROBE_URL",
                QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort()).toLatin1());
        closed.close();
        Configuration c = configWith(1);
        c.Settings.NoInternetCheck = QStringLiteral("0");
        save(c);
        make();
        tick();
        QVERIFY(http.requestedPaths().isEmpty());
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
        http.stall(QStringLiteral("/us/software/qvlGateway/download/revision.dat"));
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
        QVERIFY(served.servers.isEmpty());
    }

    void tickRereadsTheFileOnlyWhenItChanged() {
        Configuration c = configWith(1);
        c.Settings.CheckInterval = 60;
        save(c);
        make();
        tick();
        // The file rewritten in place to an interval of 10, its size and time kept: the
        // tick does not notice, so the 60 minutes still count.
        struct stat before {};
        QVERIFY(::stat(QFile::encodeName(dataFile()).constData(), &before) == 0);
        const QString other = dir.filePath(QStringLiteral("other.ini"));
        c.Settings.CheckInterval = 10;
        QVERIFY(FileMod::SaveData(c, other));
        QFile file(dataFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QFile shorter(other);
        QVERIFY(shorter.open(QIODevice::ReadOnly));
        QCOMPARE(file.write(shorter.readAll()), before.st_size);
        file.close();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(dataFile()).constData(), times, 0) == 0);
        ctrl->Clock().set(600);
        tick();
        QCOMPARE(served.servers.size(), 1);
        // Touched, it is read again.
        const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(dataFile()).constData(), now, 0) == 0);
        tick();
        QCOMPARE(served.servers.size(), 2);
    }

    void multitaskServesEveryAccount() {
        Configuration c = configWith(4);
        c.Settings.MultitaskMode = QStringLiteral("True");
        c.Settings.LogMode = QStringLiteral("3");
        save(c);
        served.result = true;
        make();
        MemoryEventLog log;
        tick();
        QCOMPARE(log.ids(), QList<qint32>{1001});
        QCOMPARE(log.entries().at(0).text,
                 QStringLiteral("All POP servers were cued for message retrieval and delivery"));
        QTRY_COMPARE_WITH_TIMEOUT(served.servers.size(), 4, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ctrl->SessionsRunning(), 0, 5000);
        QCOMPARE(log.ids(), (QList<qint32>{1001, 1000, 1000, 1000, 1000}));
        served.servers.sort();
        QCOMPARE(served.servers,
                 (QStringList{"pop0.example", "pop1.example", "pop2.example", "pop3.example"}));
    }

    void multitaskFailureIsReportedPerAccount() {
        Configuration c = configWith(2);
        c.Settings.MultitaskMode = QStringLiteral("1");
        save(c);
        served.result = false;
        make();
        MemoryEventLog log;
        tick();
        QTRY_COMPARE_WITH_TIMEOUT(log.ids().size(), 3, 5000);
        const QStringList got = texts(log);
        QVERIFY(got.contains(QStringLiteral(
            "2 8000 Lost connection/Timed out to: pop1.example, This can be the result of remote "
            "server down time or and invalid username, password or mail settings")));
    }

    void queryModeRunsOneSequentialCycle() {
        Configuration c = configWith(3);
        c.Settings.MultitaskMode = QStringLiteral("1");
        save(c);
        make(true);
        QSignalSpy finished(ctrl.get(), &CtrlFrm::queryFinished);
        MemoryEventLog log;
        ctrl->MailCycle();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
        QCOMPARE(served.servers, (QStringList{"pop0.example", "pop1.example", "pop2.example"}));
        QCOMPARE(texts(log), QStringList{"0 1001 Finished mail query"});
    }

    void stopEndsAWaitingSession() {
        save(configWith(2));
        served.waitForStop = true;
        make();
        ctrl->MailCycle();
        QTRY_COMPARE_WITH_TIMEOUT(served.servers.size(), 1, 5000);
        QSignalSpy stopped(ctrl.get(), &CtrlFrm::stopped);
        ctrl->Stop();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.size(), 1, 2000);
        QCOMPARE(served.servers.size(), 1); // the second account is not started
    }

    void tickDuringACycleIsDropped() {
        Configuration c = configWith(1);
        c.Settings.CheckInterval = 0; // due at every tick
        save(c);
        served.waitForStop = true;
        make();
        MemoryEventLog log;
        ctrl->MailCycle();
        QTRY_COMPARE_WITH_TIMEOUT(served.servers.size(), 1, 5000);
        c.Settings.SmtpServer.clear(); // a tick that got through would report it
        save(c);
        ctrl->MailCycle();
        ctrl->MailCycle();
        QTest::qWait(50);
        QCOMPARE(served.servers.size(), 1);
        QVERIFY(ctrl->CycleRunning());
        QVERIFY(log.entries().isEmpty());
    }

    void pauseAndContinueSwitchTheCycleTimer() {
        save(configWith(0));
        make();
        MemoryEventLog log;
        ctrl->Start();
        QVERIFY(ctrl->CycleTimerOn());
        ctrl->Pause();
        QVERIFY(!ctrl->CycleTimerOn());
        ctrl->Continue();
        QVERIFY(ctrl->CycleTimerOn());
        QCOMPARE(texts(log), (QStringList{"4 110 Service paused", "4 110 Service resumed"}));
        // The timer's first tick runs the cycle that is due at start.
        QTRY_COMPARE_WITH_TIMEOUT(log.ids().size(), 3, 5000);
        QCOMPARE(log.ids().last(), 1001);
    }
};

QTEST_GUILESS_MAIN(TestMailCycle)
#include "tst_mailcycle.moc"
