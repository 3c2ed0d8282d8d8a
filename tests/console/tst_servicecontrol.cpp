#include "ConsoleWindow.h"
#include "frmWaitAni.h"
#include "modService.h"

#include <QFile>

namespace {

enum Operation { Start, Stop, Install, Uninstall, Query };

const QString Name = QStringLiteral("Pop3_QVL");
constexpr int NotInstalled = 0;

QString box(const QString& title, MsgBox::Icon icon, const QString& text) {
    return QStringLiteral("%1 | %2 | %3").arg(title).arg(int(icon)).arg(text);
}

QString serviceBox(MsgBox::Icon icon, const QString& text) {
    return box(QStringLiteral("Service"), icon, text);
}

const QString QueryQuestion = box(QStringLiteral("Query Mail"), MsgBox::Icon::Question,
                                  QStringLiteral("Would you like to query the POP mail accounts "
                                                 "for new mail that are setup on this server?"));

} // namespace

class TestServiceControl : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;
    std::unique_ptr<QTemporaryDir> programDir_;

    // Opens the window on a service in `status` (0: none) as its first poll sees it.
    void open(int status) {
        if (status != NotInstalled)
            console_->services.setService(Name, status);
        console_->open();
    }

    // Through the list, as a user double-clicks the operation's item.
    void run(Operation operation) {
        if (operation == Query) {
            console_->clickNode(QStringLiteral("C1D"));
            console_->doubleClickRow(1);
        } else {
            console_->clickNode(QStringLiteral("C1C"));
            console_->doubleClickRow(operation);
        }
    }

    // The stand-in for hollisvc, ending with `status`.
    void placeProgram(bool executable = true, int status = 0) {
        const QString path = programDir_->filePath(QStringLiteral("hollisvc"));
        QVERIFY(QFile::copy(QStringLiteral(FAKE_HOLLISVC_PATH), path));
        if (!executable)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        QFile file(programDir_->filePath(QStringLiteral("status")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(status)) > 0);
    }

    [[nodiscard]] QStringList launches() const {
        QFile file(programDir_->filePath(QStringLiteral("launches")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    // A launch of our own after the console's: once it reports, a launch the console
    // made has most likely reported too.
    void settle() {
        if (!QFileInfo::exists(programDir_->filePath(QStringLiteral("hollisvc"))))
            return;
        QVERIFY(modService::LaunchServiceProgram(QStringLiteral("-settled")).task != 0);
        QTRY_VERIFY(launches().contains(QStringLiteral("-settled")));
    }

    [[nodiscard]] QStringList consoleLaunches() const {
        QStringList made = launches();
        made.removeAll(QStringLiteral("-settled"));
        return made;
    }

    [[nodiscard]] QStringList shown() const {
        QStringList texts;
        for (const MsgBox::Request& request : console_->boxes.shown)
            texts.append(box(request.title, request.icon, request.text));
        return texts;
    }

private slots:
    void initTestCase() { qputenv("COMPUTERNAME", "MAILHOST"); }
    void init() {
        console_ = std::make_unique<ConsoleWindow>();
        programDir_ = std::make_unique<QTemporaryDir>();
        qputenv("HOLLIMERE_PROGRAM_DIR", programDir_->path().toLocal8Bit());
    }
    void cleanup() {
        console_.reset();
        programDir_.reset();
    }

    void startStop_data() {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("answering");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("controls");
        QTest::addColumn<int>("statusAfter");
        using I = MsgBox::Icon;
        const QString notFound =
            serviceBox(I::Exclamation, "Service could not be found, the service is not installed");
        const QString started = serviceBox(I::Information, "Service is already started.");
        const QString stopped = serviceBox(I::Information, "Service is already stopped.");
        const QStringList none;
        QTest::newRow("start, not installed")
            << int(Start) << 0 << true << QStringList{notFound} << none << 0;
        QTest::newRow("start, stopped")
            << int(Start) << 1 << true
            << QStringList{serviceBox(I::Information, "Service was started")}
            << QStringList{"start Pop3_QVL"} << 4;
        QTest::newRow("start, start pending")
            << int(Start) << 2 << true << QStringList{started} << none << 2;
        QTest::newRow("start times out")
            << int(Start) << 1 << false
            << QStringList{serviceBox(I::Critical, "Service did not respond to request to start")}
            << QStringList{"start Pop3_QVL"} << 1;
        QTest::newRow("stop, stopped")
            << int(Stop) << 1 << true << QStringList{stopped} << none << 1;
        QTest::newRow("stop, running")
            << int(Stop) << 4 << true
            << QStringList{serviceBox(I::Information, "Service was stopped")}
            << QStringList{"stop Pop3_QVL"} << 1;
        QTest::newRow("stop times out")
            << int(Stop) << 4 << false
            << QStringList{serviceBox(I::Critical, "Service did not respond to request to stop")}
            << QStringList{"stop Pop3_QVL"} << 4;
    }
    void startStop() {
        QFETCH(int, operation);
        QFETCH(int, status);
        QFETCH(bool, answering);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, controls);
        QFETCH(int, statusAfter);
        open(status);
        FakeServiceDirectory& services = console_->services;
        services.setAnswering(answering);
        run(Operation(operation));
        // Starting and stopping go on behind the wait window.
        QCOMPARE(ConsoleWindow::dialog("frmWaitAni") != nullptr, !controls.isEmpty());
        QTRY_COMPARE(shown(), messages);
        QCOMPARE(services.controls(), controls);
        QCOMPARE(services.serviceStatus(Name), statusAfter);
        QVERIFY(!ConsoleWindow::dialog("frmWaitAni"));
    }

    // The toolbar's service buttons lead to the same operations.
    void toolbarStartsAndStops() {
        open(1);
        console_->pressTool(5);
        QTRY_COMPARE(console_->services.controls(), QStringList{"start Pop3_QVL"});
        QTRY_COMPARE(console_->window().serviceState(), 2);
        console_->pressTool(6);
        QTRY_COMPARE(console_->services.controls(),
                     QStringList({"start Pop3_QVL", "stop Pop3_QVL"}));
    }

    // Start decides on the last poll but acts on a fresh one.
    void serviceRemovedSinceThePoll() {
        open(1);
        console_->services.removeService(Name);
        run(Start);
        QCOMPARE(shown(), QStringList{serviceBox(MsgBox::Icon::Critical,
                                                 "Service could not be found, the service is not "
                                                 "installed")});
        QVERIFY(console_->services.controls().isEmpty());
        QCOMPARE(console_->window().serviceState(), 0);
    }

    // As root the console runs the program itself, waits for it and says how it ended.
    void installUninstall_data() {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("program"); // -1 missing, else its exit status
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("launched");
        using I = MsgBox::Icon;
        const QString missing =
            serviceBox(I::Exclamation, "Service could not be located on your machine");
        const QString installed = serviceBox(I::Information, "The service is already installed");
        const QString mustStop =
            serviceBox(I::Information, "Please stop the service before uninstalling");
        const QStringList none;
        QTest::newRow("install") << int(Install) << 0 << 0
                                 << QStringList{serviceBox(
                                        I::Information,
                                        "hollisvc -install ended with status 0.\n\nran -install")}
                                 << QStringList{"-install"};
        QTest::newRow("install fails")
            << int(Install) << 0 << 3
            << QStringList{serviceBox(I::Critical, "hollisvc -install ended with status "
                                                   "3.\n\nran -install")}
            << QStringList{"-install"};
        QTest::newRow("install, program missing")
            << int(Install) << 0 << -1 << QStringList{missing} << none;
        QTest::newRow("install, stopped")
            << int(Install) << 1 << 0 << QStringList{installed} << none;
        QTest::newRow("uninstall, not installed")
            << int(Uninstall) << 0 << 0
            << QStringList{serviceBox(I::Information, "The service is already uninstalled")}
            << none;
        QTest::newRow("uninstall, stopped")
            << int(Uninstall) << 1 << 0
            << QStringList{serviceBox(I::Information,
                                      "hollisvc -uninstall ended with status 0.\n\nran -uninstall")}
            << QStringList{"-uninstall"};
        QTest::newRow("uninstall, running")
            << int(Uninstall) << 4 << 0 << QStringList{mustStop} << none;
    }
    void installUninstall() {
        QFETCH(int, operation);
        QFETCH(int, status);
        QFETCH(int, program);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, launched);
        if (program >= 0)
            placeProgram(true, program);
        open(status);
        run(Operation(operation));
        QTRY_COMPARE(shown(), messages);
        QCOMPARE(launches(), launched);
        QVERIFY(console_->services.controls().isEmpty());
        QVERIFY(!ConsoleWindow::dialog("frmWaitAni"));
    }

    void queryMail_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("program");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("launched");
        const QString queried = box(QStringLiteral("Query Mail"), MsgBox::Icon::Information,
                                    QStringLiteral("Mail has been queried, do not query mail "
                                                   "again until the previous query has finished. "
                                                   " Check the application event log."));
        const int yes = int(MsgBox::Button::Yes);
        QTest::newRow("yes") << 1 << true << yes << QStringList{QueryQuestion, queried}
                             << QStringList{"-query"};
        QTest::newRow("no") << 4 << true << int(MsgBox::Button::No) << QStringList{QueryQuestion}
                            << QStringList{};
        QTest::newRow("program missing")
            << 4 << false << yes
            << QStringList{box(QStringLiteral("Find Service"), MsgBox::Icon::Critical,
                               QStringLiteral("Service was not located on your local machine"))}
            << QStringList{};
    }
    void queryMail() {
        QFETCH(int, status);
        QFETCH(bool, program);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, launched);
        if (program)
            placeProgram();
        open(status);
        console_->boxes.answerNext(MsgBox::Button(answer));
        run(Query);
        QCOMPARE(shown(), messages);
        settle();
        QTRY_COMPARE(consoleLaunches(), launched);
    }

    // The program is there but cannot run: every operation says so.
    void launchFails_data() {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("status");
        QTest::newRow("install") << int(Install) << 0;
        QTest::newRow("uninstall") << int(Uninstall) << 1;
        QTest::newRow("query") << int(Query) << 1;
    }
    void launchFails() {
        QFETCH(int, operation);
        QFETCH(int, status);
        placeProgram(false);
        open(status);
        run(Operation(operation));
        QTRY_VERIFY(!console_->boxes.shown.isEmpty() &&
                    console_->boxes.shown.last().icon == MsgBox::Icon::Critical);
        QVERIFY(launches().isEmpty());
    }
};

QTEST_MAIN(TestServiceControl)
#include "tst_servicecontrol.moc"
