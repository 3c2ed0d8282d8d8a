#include "ConsoleWindow.h"
#include "LocalHttpServer.h"
#include "StalledListener.h"
#include "StringTable.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>

class TestHelpMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;
    QTemporaryDir stateDir_;
    const QByteArray path_ = qgetenv("PATH");

    static QWidget* about() { return ConsoleWindow::dialog(QStringLiteral("frmAbout")); }

    static QString caption(const char* name) {
        auto* label = about()->findChild<QLabel*>(QLatin1String(name));
        if (label)
            return label->text();
        return about()->findChild<QAbstractButton*>(QLatin1String(name))->text();
    }

    static void click(const char* name) {
        QTest::mouseClick(about()->findChild<QAbstractButton*>(QLatin1String(name)),
                          Qt::LeftButton);
    }

private slots:
    void init() {
        console_ = std::make_unique<ConsoleWindow>();
        console_->open();
        qputenv("HOLLIMERE_STATE_DIR", stateDir_.path().toUtf8());
    }

    void cleanup() {
        console_.reset();
        qputenv("PATH", path_);
        qunsetenv("HOLLIMERE_UPDATE_URL");
        qunsetenv("HOLLIMERE_STATE_DIR");
    }

    void aboutBox() {
        console_->chooseHelp(LoadResString(207));
        QVERIFY(about());
        QVERIFY(!console_->window().isEnabled());
        click("cmdOK");
        QTRY_VERIFY(!about());
        QVERIFY(console_->window().isEnabled());
    }

    void mailLinks_data() {
        QTest::addColumn<QString>("menuItem"); // empty: the about box's button
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("link");
        const QString bugBody =
            "&body=1. Please copy events or attach an event log to this email.  Under our "
            "privacy policy, we will not use your event log for anything other than to fix the "
            "bug submitted.  2. Explain as much as you can of the situation which caused the "
            "error or bug.";
        QTest::newRow("menu bug") << LoadResString(205) << QString()
                                  << "mailto: bugs@hollimere.example?subject=BUG: QVL_POP3-3.0 0" +
                                         bugBody;
        QTest::newRow("about suggestion")
            << QString() << "cmdsuggestion"
            << "mailto: suggestions@hollimere.example?subject=SUGGESTION: QVL_POP3-Version 3.0 "
               "Interface Build: 10&body=Please add your explanation of a feature you wish to "
               "see, something your wish to would be changed or general comments.";
    }

    void mailLinks() {
        QFETCH(QString, menuItem);
        QFETCH(QString, button);
        QFETCH(QString, link);
        if (menuItem.isEmpty()) {
            console_->chooseHelp(LoadResString(207));
            click(qPrintable(button));
        } else {
            console_->chooseHelp(menuItem);
        }
        QCOMPARE(console_->shell.opened, QStringList{link});
    }

    void systemInformation_data() {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("started"); // empty: none, so the message
        QTest::newRow("none") << QStringList{} << QString();
        QTest::newRow("first of the list wins")
            << QStringList{"lxtask", "gnome-system-monitor"} << "gnome-system-monitor";
    }

    void systemInformation() {
        QFETCH(QStringList, installed);
        QFETCH(QString, started);
        QTemporaryDir bin;
        const QString ran = bin.filePath(QStringLiteral("ran"));
        for (const QString& name : installed) {
            QFile script(bin.filePath(name));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(QStringLiteral("#!/bin/sh\necho %1 > '%2'\n").arg(name, ran).toUtf8());
            script.setPermissions(script.permissions() | QFile::ExeOwner);
        }
        qputenv("PATH", bin.path().toUtf8());

        console_->chooseHelp(LoadResString(207));
        click("cmdSysInfo");
        if (started.isEmpty()) {
            QCOMPARE(console_->boxes.shown.size(), 1);
            QCOMPARE(console_->boxes.shown[0].text,
                     QStringLiteral("System Information Is Unavailable At This Time"));
            QCOMPARE(console_->boxes.shown[0].title, QStringLiteral("About"));
            QCOMPARE(console_->boxes.shown[0].icon, MsgBox::Icon::Information);
            return;
        }
        QVERIFY(console_->boxes.shown.isEmpty());
        QFile marker(ran);
        QTRY_VERIFY(marker.exists() && marker.size() > 0);
        QVERIFY(marker.open(QIODevice::ReadOnly));
        QCOMPARE(marker.readAll().trimmed(), started.toUtf8());
    }

    // The check runs behind a wait window and always says how it ended.
    void updateCheck_data() {
        QTest::addColumn<QByteArray>("versionFile");
        QTest::addColumn<int>("status"); // 0: no server set up
        QTest::addColumn<QString>("message");
        const QString upToDate = QStringLiteral("Most updated version is currently installed.");
        const QString notFetched = QStringLiteral("The version file could not be fetched");
        QTest::newRow("newer minor") << QByteArray("3.1.0\r\n") << 200
                                     << "There is a new version (3.1.0) of this service available.";
        QTest::newRow("equal") << QByteArray("3.0.7") << 200 << upToDate;
        QTest::newRow("unreadable") << QByteArray("<html>Not here</html>") << 200
                                    << "The version file from the web site could not be read.";
        QTest::newRow("blank") << QByteArray(" \n") << 200 << notFetched;
        QTest::newRow("not found") << QByteArray("3.9") << 404 << notFetched;
        QTest::newRow("no server")
            << QByteArray() << 0 << "No update server is set up for this installation.";
    }
    void updateCheck() {
        QFETCH(QByteArray, versionFile);
        QFETCH(int, status);
        QFETCH(QString, message);
        LocalHttpServer server;
        server.serve("/us/software/qvlGateway/download/revision.dat", versionFile, status);
        if (status)
            qputenv("HOLLIMERE_UPDATE_URL", server.url().toString().toUtf8());

        console_->chooseHelp(QStringLiteral("Check for &Updates"));
        QTRY_COMPARE(console_->boxes.shown.size(), 1);
        QVERIFY2(console_->boxes.shown[0].text.startsWith(message),
                 qPrintable(console_->boxes.shown[0].text));
        QCOMPARE(server.requestedPaths().size(), status ? 1 : 0);
        QVERIFY(!ConsoleWindow::dialog(QStringLiteral("frmWaitAni")));
    }

    // A server that never answers does not hold the window: Cancel ends the check at once.
    void updateCheckCancelled() {
        StalledListener silent;
        qputenv("HOLLIMERE_UPDATE_URL",
                QByteArray("http://127.0.0.1:") + QByteArray::number(silent.port()));
        console_->chooseHelp(QStringLiteral("Check for &Updates"));
        QWidget* wait = ConsoleWindow::dialog(QStringLiteral("frmWaitAni"));
        QVERIFY(wait);
        QTest::qWait(200);
        QElapsedTimer clock;
        clock.start();
        ConsoleWindow::click(wait, QStringLiteral("cmdCancel"));
        QTRY_VERIFY(!ConsoleWindow::dialog(QStringLiteral("frmWaitAni")));
        QVERIFY(console_->boxes.shown.isEmpty());
        QVERIFY(console_->window().isEnabled());
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_MAIN(TestHelpMenu)
#include "tst_helpmenu.moc"
