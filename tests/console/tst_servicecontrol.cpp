#include "ConsoleWindow.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

using Icon = MsgBox::Icon;

class TestServiceControl : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;

private slots:
    void init() {
        console_ = std::make_unique<ConsoleWindow>();
        qputenv("HOLLIMERE_PROGRAM_DIR", QFile::encodeName(console_->systemctl.dir()));
    }
    void cleanup() { console_.reset(); }

    // A service item or Retrieve Mail double-clicked: what is run, and the message at the end.
    void operations_data() {
        QTest::addColumn<RowCheck>("check");
        // unit: `systemctl show` lines, empty: no such unit; exitStatus -1: no hollisvc there.
        auto row = [this](const char* name, const QString& item, const QByteArray& unit,
                          int exitStatus, const QString& run, Icon icon, const QString& message) {
            QTest::newRow(name) << RowCheck([=, this] {
                QByteArray units = "pop3_qvl.service enabled\n"; // not ours: names match exactly
                if (!unit.isEmpty()) {
                    units += "Pop3_QVL.service enabled\n";
                    console_->systemctl.answer(QStringLiteral("show"), "LoadState=loaded\n" + unit);
                }
                console_->systemctl.answer(QStringLiteral("list-unit-files"), units);
                for (const char* verb : {"start", "stop", "-install", "-uninstall", "-query"})
                    console_->systemctl.fail(verb, exitStatus, QStringLiteral("ran ") + verb);
                if (exitStatus >= 0) // hollisvc: a copy of the stand-in, noting its calls alike
                    QVERIFY(QFile::copy(console_->systemctl.dir() + "/systemctl",
                                        console_->systemctl.dir() + "/hollisvc"));
                console_->open();
                console_->openItem(item);
                QTRY_VERIFY(!console_->boxes.shown.isEmpty() &&
                            !ConsoleWindow::dialog(QStringLiteral("frmWaitAni")));
                QCOMPARE(console_->boxes.shown.last().text.left(message.size()), message);
                QCOMPARE(console_->boxes.shown.last().icon, icon);
                const QRegularExpression done("^(start|stop|-)"); // controls and hollisvc runs
                QTRY_COMPARE(console_->systemctl.calls().filter(done).join(u'|'), run);
            });
        };
        const QByteArray stopped = "ActiveState=inactive", running = "ActiveState=active";
        const char *start = "start -- Pop3_QVL.service", *stop = "stop -- Pop3_QVL.service";
        const Icon info = Icon::Information, critical = Icon::Critical, warning = Icon::Exclamation;
        row("start", "C1", stopped, 0, start, info, "Service was started");
        row("start, no answer", "C1", stopped, 1, start, critical, "Service did not respond");
        row("start, starting", "C1", "ActiveState=activating", 0, "", info, "Service is already");
        row("start, no unit", "C1", "", 0, "", warning, "Service could not be found");
        row("stop", "C2", running, 0, stop, info, "Service was stopped");
        row("stop, stopped", "C2", stopped, 0, "", info, "Service is already stopped");
        row("install", "C3", "", 0, "-install", info,
            "hollisvc -install ended with status 0.\n\nran -install");
        row("install fails", "C3", "", 3, "-install", critical,
            "hollisvc -install ended with status 3");
        row("install, no program", "C3", "", -1, "", warning, "Service could not be located");
        row("install, installed", "C3", stopped, 0, "", info, "The service is already installed");
        row("uninstall", "C4", stopped, 0, "-uninstall", info,
            "hollisvc -uninstall ended with status 0");
        row("uninstall, running", "C4", running, 0, "", info, "Please stop the service");
        row("query", "D2", running, 0, "-query", info, "Mail has been queried");
        row("query, no program", "D2", running, -1, "", critical, "Service was not located");
    }
    void operations() { RunCheck(); }

    // What systemctl shows read as a service status; a systemctl that fails or hangs is none.
    void status_data() {
        QTest::addColumn<RowCheck>("check");
        auto row = [this](const char* name, const QByteArray& shown, int exitStatus, int status) {
            QTest::newRow(name) << RowCheck([=, this] {
                console_->systemctl.answer("show", shown);
                exitStatus < 0 ? console_->systemctl.hang("show")
                               : console_->systemctl.fail("show", exitStatus);
                const QDeadlineTimer limit(5000);
                QCOMPARE(SystemdServiceDirectory(1000).serviceStatus("Pop3_QVL"), status);
                QVERIFY(!limit.hasExpired());
            });
        };
        const QByteArray loaded = "LoadState=loaded\n";
        row("failed, lines in any order", "ActiveState=failed\r\n" + loaded, 0, 1);
        row("paused", loaded + "ActiveState=active\nFreezerState=frozen", 0, 7);
        row("broken unit file", "LoadState=bad-setting", 0, 8);
        row("systemctl fails", loaded + "ActiveState=active", 1, 0);
        row("systemctl hangs", loaded + "ActiveState=active", -1, 0);
    }
    void status() { RunCheck(); }
};

QTEST_MAIN(TestServiceControl)
#include "tst_servicecontrol.moc"
