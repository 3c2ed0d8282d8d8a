#include "ConsoleWindow.h"
#include "MainMod.h"

#include <QFile>
#include <QTextBrowser>

using Button = MsgBox::Button;

namespace {

const QString Unstorable = QStringLiteral("Snow \u2603");

void setServer(ConsoleDocument& document, const QString& server) {
    document.change([&server](Configuration& c) { c.Settings.SmtpServer = server; });
}

QString storedServer(const ConsoleWindow& console) {
    return console.stored().Settings.SmtpServer;
}

} // namespace

class TestFrmManagement : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;

    [[nodiscard]] QAction* saveAction() const {
        return console_->window().findChild<QAction*>(QStringLiteral("FileSave"));
    }

private slots:
    void init() { console_ = std::make_unique<ConsoleWindow>(); }
    void cleanup() { console_.reset(); }

    // What the change watcher and Ctrl+S write; a value the file cannot hold stays pending.
    void saving_data() {
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("saved");
        QTest::newRow("auto save") << true << "smtp.example" << true;
        QTest::newRow("Ctrl+S") << false << "smtp.example" << true;
        QTest::newRow("auto save, unstorable") << true << Unstorable << false;
        QTest::newRow("Ctrl+S, unstorable") << false << Unstorable << false;
    }
    void saving() {
        QFETCH(bool, autoSave);
        QFETCH(QString, server);
        QFETCH(bool, saved);
        frmManagement& window = console_->open({}, autoSave);
        setServer(console_->document(), server);
        QTest::qWait(1500); // a change-watcher tick
        if (!autoSave) {
            QCOMPARE(storedServer(*console_), QString());
            QVERIFY(saveAction()->isEnabled());
            QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
        }
        QCOMPARE(storedServer(*console_), saved ? server : QString());
        // A failed save neither reloads over the changes nor forgets them.
        QCOMPARE(console_->document().configuration().Settings.SmtpServer, server);
        QCOMPARE(console_->document().isChanged(), !saved);
        QCOMPARE(saveAction()->isEnabled(), !saved);
    }

    // The close box, File Exit and Ctrl+Q ask before changes are lost; Cancel, Escape and a
    // failed save keep the window and the changes.
    void closing_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("answer");      // -1: Escape
        QTest::addColumn<QString>("pending"); // the server changed to; empty: nothing
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("inFile");
        const QString server = QStringLiteral("smtp.example");
        QTest::newRow("nothing pending") << "close" << -1 << "" << true << "";
        QTest::newRow("save") << "close" << int(Button::Yes) << server << true << server;
        QTest::newRow("discard") << "close" << int(Button::No) << server << true << "";
        QTest::newRow("cancel") << "close" << int(Button::Cancel) << server << false << "";
        QTest::newRow("escape") << "close" << -1 << server << false << "";
        QTest::newRow("save fails") << "close" << int(Button::Yes) << Unstorable << false << "";
        QTest::newRow("File, Exit, save") << "exit" << int(Button::Yes) << server << true << server;
        QTest::newRow("Ctrl+Q, escape") << "ctrl+q" << -1 << server << false << "";
    }
    void closing() {
        QFETCH(QString, how);
        QFETCH(int, answer);
        QFETCH(QString, pending);
        QFETCH(bool, closed);
        QFETCH(QString, inFile);
        frmManagement& window = console_->open({}, false);
        if (!pending.isEmpty())
            setServer(console_->document(), pending);
        if (answer < 0)
            console_->boxes.dismissNext();
        else
            console_->boxes.answerNext(Button(answer));
        if (how == u"close")
            window.close();
        else if (how == u"exit")
            window.findChild<QAction*>(QStringLiteral("FileExit"))->trigger();
        else
            QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(console_->boxes.shown.isEmpty(), pending.isEmpty());
        QCOMPARE(window.isVisible(), !closed);
        QCOMPARE(storedServer(*console_), inFile);
        QCOMPARE(console_->document().configuration().Settings.SmtpServer, pending);
    }

    // Another console wrote the file meanwhile: an unchanged window follows it, a save asks.
    void fileChangedElsewhere_data() {
        QTest::addColumn<QString>("inFile");
        QTest::addColumn<int>("answer"); // -1: nothing pending, so no question
        QTest::addColumn<QString>("inMemory");
        QTest::newRow("unchanged window reloads") << "other" << -1 << "other";
        QTest::newRow("reload") << "other" << int(Button::Reload) << "other";
        QTest::newRow("overwrite") << "mine" << int(Button::Overwrite) << "mine";
        QTest::newRow("cancel") << "other" << int(Button::Cancel) << "mine";
    }
    void fileChangedElsewhere() {
        QFETCH(QString, inFile);
        QFETCH(int, answer);
        QFETCH(QString, inMemory);
        frmManagement& window = console_->open({}, false);
        if (answer >= 0)
            setServer(console_->document(), QStringLiteral("mine"));
        Configuration other;
        other.Settings.SmtpServer = QStringLiteral("other");
        console_->store(other);
        if (answer >= 0) {
            console_->boxes.answerNext(Button(answer));
            QTRY_VERIFY(saveAction()->isEnabled());
            QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
        }
        QTRY_COMPARE(console_->document().configuration().Settings.SmtpServer, inMemory);
        QCOMPARE(console_->boxes.shown.size(), answer >= 0 ? 1 : 0);
        QCOMPARE(storedServer(*console_), inFile);
        QCOMPARE(console_->document().isChanged(), answer == int(Button::Cancel));
    }

    // Help opens the contents in one viewer, which a second request brings back home.
    void helpOpens() {
        QTemporaryDir programDir;
        MainMod::HelpFolder = programDir.path() + u'/';
        for (const char* name : {"contents.htp", "faq.htp"}) {
            QFile page(MainMod::HelpFolder + QLatin1String(name));
            QVERIFY(page.open(QIODevice::WriteOnly) && page.write("<p>a page</p>") > 0);
        }
        const QUrl contents = QUrl::fromLocalFile(MainMod::HelpFolder + "contents.htp");
        QAction* help = console_->open().findChild<QAction*>(QStringLiteral("HelpContents"));
        help->trigger();
        auto* browser =
            ConsoleWindow::dialog(QStringLiteral("frmHelp"))->findChild<QTextBrowser*>();
        QCOMPARE(browser->source(), contents);
        emit browser->anchorClicked(QUrl(QStringLiteral("faq.htp")));
        QCOMPARE(browser->source(), QUrl::fromLocalFile(MainMod::HelpFolder + "faq.htp"));
        help->trigger(); // in the viewer already open
        QCOMPARE(browser->source(), contents);
        QVERIFY(console_->boxes.shown.isEmpty());
    }
};

QTEST_MAIN(TestFrmManagement)
#include "tst_frmmanagement.moc"
