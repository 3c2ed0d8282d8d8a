#include "ConsoleWindow.h"
#include "Spinner.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>

namespace {

// Rows of the Options list.
enum Row { Schedule = 0, Undeliverable = 2, LogMode = 4, Timeouts = 5 };

QString text(QWidget* dialog, const QString& name) {
    return dialog->findChild<QLineEdit*>(name)->text();
}

} // namespace

class TestOptionDialogs : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;

    ConsoleWindow& console() { return *console_; }
    const ConfigSettings& settings() { return console_->document().configuration().Settings; }

    QWidget* openOption(Row row, const QString& name, const Configuration& config = {}) {
        console_->open(config);
        console_->clickNode(QStringLiteral("C1D"));
        console_->doubleClickRow(row);
        return ConsoleWindow::dialog(name);
    }

    // The dialog stayed open with one message that starts with `message`.
    void checkRefused(QWidget* dialog, const QString& message) {
        QCOMPARE(console().boxes.shown.size(), 1);
        QVERIFY2(console().boxes.shown[0].text.startsWith(message),
                 qPrintable(console().boxes.shown[0].text));
        QVERIFY(dialog->isVisible());
        QVERIFY(!console().document().isChanged());
    }

private slots:
    void initTestCase() { qputenv("COMPUTERNAME", "MAILHOST"); }
    void init() { console_ = std::make_unique<ConsoleWindow>(); }
    void cleanup() { console_.reset(); }

    void mainWindowWhileOpen_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("mainEnabled");
        QTest::newRow("schedule") << int(Schedule) << "frmSchedule" << false;
        QTest::newRow("undeliverable") << int(Undeliverable) << "frmUndeliverable" << false;
        QTest::newRow("logging") << int(LogMode) << "frmLogMode" << true;
        QTest::newRow("time-outs") << int(Timeouts) << "frmTimeOut" << false;
    }
    void mainWindowWhileOpen() {
        QFETCH(int, row);
        QFETCH(QString, name);
        QFETCH(bool, mainEnabled);
        QWidget* dialog = openOption(Row(row), name);
        QVERIFY(dialog);
        QCOMPARE(console().window().isEnabled(), mainEnabled);
        dialog->close(); // the close box
        QVERIFY(console().window().isEnabled());
        QVERIFY(!ConsoleWindow::dialog(name));
        QVERIFY(!console().document().isChanged());
    }

    // The logging dialog never disabled the main window, so closing it must not enable it.
    void loggingClosedWhileScheduleOpen() {
        QWidget* logging = openOption(LogMode, QStringLiteral("frmLogMode"));
        console().doubleClickRow(Schedule);
        QWidget* schedule = ConsoleWindow::dialog(QStringLiteral("frmSchedule"));
        QVERIFY(schedule);
        ConsoleWindow::click(logging, QStringLiteral("CancelButton"));
        QVERIFY(!console().window().isEnabled());
        ConsoleWindow::click(schedule, QStringLiteral("CancelBut"));
        QVERIFY(console().window().isEnabled());
    }

    void scheduleInterval_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0") << "0"
                           << "You cannot specify a value less than 1 minute." << 10 << "1";
        QTest::newRow("beyond the scroll bar") << "2000"
                                               << "" << 2000 << "2000";
        QTest::newRow("blanks around") << " 45 "
                                       << "" << 45 << " 45 ";
        const QString whole = QStringLiteral("The interval must be a whole number");
        QTest::newRow("letters") << "ten" << whole << 10 << "ten";
        QTest::newRow("above 16 bits") << "32768" << whole << 10 << "32768";
    }
    void scheduleInterval() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(int, interval);
        QFETCH(QString, shown);
        Configuration config;
        config.Settings.CheckInterval = 10;
        QWidget* dialog = openOption(Schedule, QStringLiteral("frmSchedule"), config);
        QCOMPARE(text(dialog, QStringLiteral("TimeTxt")), QStringLiteral("10"));
        ConsoleWindow::type(dialog, QStringLiteral("TimeTxt"), typed);
        ConsoleWindow::click(dialog, QStringLiteral("OKBut"));
        QCOMPARE(int(settings().CheckInterval), interval);
        if (message.isEmpty()) {
            QVERIFY(console().boxes.shown.isEmpty());
            QVERIFY(!ConsoleWindow::dialog(QStringLiteral("frmSchedule")));
            QVERIFY(console().document().isChanged());
            return;
        }
        checkRefused(dialog, message);
        QCOMPARE(text(dialog, QStringLiteral("TimeTxt")), shown);
    }

    void scheduleCheckAll() {
        Configuration config;
        config.Settings.CheckInterval = 10;
        QWidget* dialog = openOption(Schedule, QStringLiteral("frmSchedule"), config);
        auto box = [dialog](int day) {
            return dialog->findChild<QCheckBox*>(QStringLiteral("chkWeek%1").arg(day));
        };
        QCOMPARE(box(7)->text(), QStringLiteral("Check All"));
        ConsoleWindow::click(dialog, QStringLiteral("chkWeek7"));
        for (int day = 0; day < 8; ++day)
            QVERIFY(box(day)->isChecked());
        ConsoleWindow::click(dialog, QStringLiteral("chkWeek2")); // Tuesday
        ConsoleWindow::click(dialog, QStringLiteral("OKBut"));
        QVERIFY(console().boxes.shown.isEmpty());
        QStringList ticked;
        for (bool day : settings().NoMailDays)
            ticked.append(day ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(ticked.join(QString()), QStringLiteral("11011110"));
    }

    // A stored "Check All" ticks every day; values beyond the scroll bar show as stored.
    void scheduleShowsStored_data() {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("bar");
        QTest::addColumn<bool>("checkAll");
        QTest::addColumn<bool>("monday");
        QTest::newRow("2000 minutes, check all") << 2000 << 1440 << true << true;
        QTest::newRow("30 minutes, nothing ticked") << 30 << 30 << false << false;
    }
    void scheduleShowsStored() {
        QFETCH(int, interval);
        QFETCH(int, bar);
        QFETCH(bool, checkAll);
        QFETCH(bool, monday);
        Configuration config;
        config.Settings.CheckInterval = static_cast<qint16>(interval);
        config.Settings.NoMailDays[7] = checkAll;
        config.Settings.NoMailDays[1] = monday && !checkAll;
        QWidget* dialog = openOption(Schedule, QStringLiteral("frmSchedule"), config);
        QCOMPARE(text(dialog, QStringLiteral("TimeTxt")), QString::number(interval));
        QCOMPARE(dialog->findChild<Spinner*>(QStringLiteral("VScroll"))->position(), bar);
        for (int day = 0; day < 8; ++day)
            QCOMPARE(
                dialog->findChild<QCheckBox*>(QStringLiteral("chkWeek%1").arg(day))->isChecked(),
                checkAll || (day == 1 && monday));
    }

    // The arrows count from what is shown, typed or stored.
    void spinnerArrowsCount() {
        Configuration config;
        config.Settings.CheckInterval = 10;
        QWidget* dialog = openOption(Schedule, QStringLiteral("frmSchedule"), config);
        auto* bar =
            dialog->findChild<Spinner*>(QStringLiteral("VScroll"))->findChild<QScrollBar*>();
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, 2));
        QCOMPARE(text(dialog, QStringLiteral("TimeTxt")), QStringLiteral("11"));
        ConsoleWindow::type(dialog, QStringLiteral("TimeTxt"), QStringLiteral("50"));
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, 2));
        QCOMPARE(text(dialog, QStringLiteral("TimeTxt")), QStringLiteral("51"));
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 2));
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 2));
        QCOMPARE(text(dialog, QStringLiteral("TimeTxt")), QStringLiteral("49"));
    }

    void timeouts_data() {
        QTest::addColumn<QString>("pop");
        QTest::addColumn<QString>("smtp");
        QTest::addColumn<QString>("message");
        const QString low = QStringLiteral("The timeout values must be higher than 10");
        const QString whole = QStringLiteral("The timeout values must be whole numbers");
        QTest::newRow("pop 9") << "9"
                               << "30" << low;
        QTest::newRow("beyond the scroll bar") << "5000"
                                               << "30"
                                               << "";
        QTest::newRow("letters") << "30"
                                 << "abc" << whole;
        QTest::newRow("above 16 bits") << "40000"
                                       << "30" << whole;
    }
    void timeouts() {
        QFETCH(QString, pop);
        QFETCH(QString, smtp);
        QFETCH(QString, message);
        QWidget* dialog = openOption(Timeouts, QStringLiteral("frmTimeOut"));
        QCOMPARE(text(dialog, QStringLiteral("txtTimeout0")), QStringLiteral("30"));
        ConsoleWindow::type(dialog, QStringLiteral("txtTimeout0"), pop);
        ConsoleWindow::type(dialog, QStringLiteral("txtTimeout1"), smtp);
        ConsoleWindow::click(dialog, QStringLiteral("OKButton"));
        if (message.isEmpty()) {
            QVERIFY(console().boxes.shown.isEmpty());
            QCOMPARE(settings().PopTimeout, pop);
            QCOMPARE(settings().SmtpTimeout, smtp);
            QVERIFY(console().document().isChanged());
            return;
        }
        checkRefused(dialog, message);
        QCOMPARE(settings().PopTimeout, QStringLiteral("30"));
    }

    void logMode_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("within the slider") << "1" << 1;
        QTest::newRow("beyond the slider") << "7" << 3;
    }
    void logMode() {
        QFETCH(QString, stored);
        QFETCH(int, shown);
        Configuration config;
        config.Settings.LogMode = stored;
        QWidget* dialog = openOption(LogMode, QStringLiteral("frmLogMode"), config);
        auto* slider = dialog->findChild<QSlider*>(QStringLiteral("slideLogMode"));
        QCOMPARE(slider->value(), shown);
        ConsoleWindow::click(dialog, QStringLiteral("OKButton"));
        QCOMPARE(settings().LogMode, stored); // not moved: kept as stored
        console().doubleClickRow(LogMode);
        dialog = ConsoleWindow::dialog(QStringLiteral("frmLogMode"));
        slider = dialog->findChild<QSlider*>(QStringLiteral("slideLogMode"));
        QTest::keyClick(slider, Qt::Key_Home);
        QTest::keyClick(slider, Qt::Key_Right);
        ConsoleWindow::click(dialog, QStringLiteral("OKButton"));
        QCOMPARE(settings().LogMode, QStringLiteral("2"));
    }

    // Cancel, Escape and the close box change nothing, even after a refused OK.
    void leavingChangesNothing_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("how");
        for (const char* how : {"cancel", "escape", "close"}) {
            QTest::addRow("schedule, refused 0, %s", how) << int(Schedule) << "frmSchedule" << how;
            QTest::addRow("logging, slider moved, %s", how) << int(LogMode) << "frmLogMode" << how;
        }
    }
    void leavingChangesNothing() {
        QFETCH(int, row);
        QFETCH(QString, name);
        QFETCH(QString, how);
        Configuration config;
        config.Settings.CheckInterval = 10;
        config.Settings.LogMode = QStringLiteral("1");
        QWidget* dialog = openOption(Row(row), name, config);
        const Configuration before = console().document().configuration();
        if (row == Schedule) {
            ConsoleWindow::type(dialog, QStringLiteral("TimeTxt"), QStringLiteral("0"));
            ConsoleWindow::click(dialog, QStringLiteral("chkWeek3"));
            ConsoleWindow::click(dialog, QStringLiteral("OKBut"));
        } else {
            QTest::keyClick(dialog->findChild<QSlider*>(), Qt::Key_End);
        }
        if (how == u"cancel")
            ConsoleWindow::click(dialog, row == Schedule ? QStringLiteral("CancelBut")
                                                         : QStringLiteral("CancelButton"));
        else if (how == u"escape")
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
        QVERIFY(!ConsoleWindow::dialog(name));
        QCOMPARE(console().document().configuration(), before);
        QVERIFY(!console().document().isChanged());
    }

    void undeliverable_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reloaded");
        QTest::newRow("empty") << ""
                               << ""
                               << "Administrator";
        QTest::newRow("address") << "postmaster@example.org"
                                 << ""
                                 << "postmaster@example.org";
        QTest::newRow("control character") << "post\x01master"
                                           << "Post Master holds"
                                           << "";
    }
    void undeliverable() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, reloaded);
        QWidget* dialog = openOption(Undeliverable, QStringLiteral("frmUndeliverable"));
        QCOMPARE(text(dialog, QStringLiteral("txtPostMaster")), QStringLiteral("Administrator"));
        QVERIFY(!dialog->findChild<QCheckBox*>(QStringLiteral("chkPostmaster"))->isChecked());
        ConsoleWindow::paste(dialog, QStringLiteral("txtPostMaster"), typed);
        ConsoleWindow::click(dialog, QStringLiteral("chkPostmaster"));
        ConsoleWindow::click(dialog, QStringLiteral("OKButton"));
        if (!message.isEmpty()) {
            checkRefused(dialog, message);
            return;
        }
        QCOMPARE(settings().PostmasterMailbox, typed);
        QCOMPARE(settings().SendToPostmaster, QStringLiteral("1"));
        QTRY_COMPARE_WITH_TIMEOUT(console().filePanel(), QStringLiteral("File Status: Ready"),
                                  2500);
        QCOMPARE(console().stored().Settings.PostmasterMailbox, reloaded);
        QCOMPARE(console().stored().Settings.SendToPostmaster, QStringLiteral("1"));
    }
};

QTEST_MAIN(TestOptionDialogs)
#include "tst_optiondialogs.moc"
