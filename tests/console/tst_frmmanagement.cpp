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

// How the accounts are kept: Primary and Secondary are machines of an array; Full has 100.
constexpr int Alone = 0, Primary = 1, Secondary = 2, Full = 3;

// Each account as name|server|user|password|Exchange user|remote domain|flags, where the
// flags are G for a global mail host and K for mail kept on the host.
QStringList described(const Configuration& config) {
    QStringList accounts;
    for (const AccountRecord& a : config.Accounts)
        if (!a.AccountName.isEmpty())
            accounts.append(QStringList{
                a.AccountName, a.MailServer, a.UserName, a.Password, a.ExchangeUser, a.RemoteDomain,
                QString(a.GlobalMailHost ? "G" : "") + (a.KeepMailOnHost ? "K" : "")}
                                .join(u'|'));
    return accounts;
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
        // Till the change watcher has ticked: saved, or the Save button offered.
        QTRY_VERIFY(saveAction()->isEnabled() || !console_->document().isChanged());
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
        console_->boxes.answerNext(answer < 0 ? std::nullopt : std::optional(Button(answer)));
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

    // What Add, Properties and Delete do to the accounts Sup and Sal, and what they refuse.
    void accounts_data() {
        QTest::addColumn<int>("setup");
        QTest::addColumn<QString>("action");     // with the account clicked first; "edit": twice
        QTest::addColumn<QStringList>("typed");  // the six boxes, then G or K: tick those
        QTest::addColumn<int>("answer");         // to the one message
        QTest::addColumn<QString>("message");    // its start; empty: none
        QTest::addColumn<QStringList>("stored"); // afterwards; empty: as before
        const QString sup = QStringLiteral("Sup|pop|u|pw|help||");
        const QStringList typed = {" New ", "pop2", "box", "Pw", "Pw", "jdoe"};
        const QStringList none;
        const int ok = int(Button::Ok);
        QTest::newRow("add") << Alone << "accountsAdd" << typed + QStringList{"K"} << ok << ""
                             << QStringList{sup, "Sal|pop|u|pw||ex.org|G",
                                            "New|pop2|box|Pw|jdoe||K"};
        QTest::newRow("add global")
            << Alone << "accountsAdd" << typed + QStringList{"G"} << ok << ""
            << QStringList{sup, "Sal|pop|u|pw||ex.org|G", "New|pop2|box|Pw||jdoe|G"};
        QTest::newRow("edit") << Alone << "edit Sal"
                              << QStringList{"Sal", "pop", "u", "pw", "pw", "boss", "G"} << ok << ""
                              << QStringList{sup, "Sal|pop|u|pw|boss||"};
        QTest::newRow("delete on the primary machine")
            << Primary << "accountsDelete Sal" << none << int(Button::Yes)
            << "Delete account 'Sal'?" << QStringList{sup};
        QTest::newRow("delete, no")
            << Alone << "accountsDelete Sal" << none << int(Button::No) << "Delete account" << none;
        QTest::newRow("empty box")
            << Alone << "accountsAdd" << QStringList{"A", "pop", "u", "p", "p", "  "} << ok
            << "Please complete all fields" << none;
        QTest::newRow("passwords differ")
            << Alone << "accountsAdd" << QStringList{"A", "pop", "u", "Pw", "pw", "x"} << ok
            << "Passwords do not match" << none;
        QTest::newRow("control character")
            << Alone << "accountsAdd" << QStringList{"A", "pop\tx", "u", "p", "p", "x"} << ok
            << "Mail Server holds a control character" << none;
        QTest::newRow("secondary array machine")
            << Secondary << "accountsProperties Sal" << none << ok
            << "Only the primary machine in the array" << none;
        QTest::newRow("nothing selected")
            << Alone << "accountsDelete" << none << ok << "Please select an account first" << none;
        QTest::newRow("file full")
            << Full << "accountsAdd" << none << ok << "No more than 100" << none;
    }
    void accounts() {
        QFETCH(int, setup);
        QFETCH(QString, action);
        QFETCH(QStringList, typed);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(QStringList, stored);
        Configuration config;
        config.Accounts[0] = {"Sup", "pop", "u", "pw", false, "help", "", false};
        config.Accounts[1] = {"Sal", "pop", "u", "pw", true, "", "ex.org", false};
        for (size_t i = 2; setup == Full && i < static_cast<size_t>(StoredAccounts); ++i)
            config.Accounts[i] = {QString::number(i), "pop", "u", "pw", false, "x", "", false};
        config.Settings.ArrayMember = setup == Primary || setup == Secondary;
        config.Settings.ArrayPrimary = setup == Primary;
        frmManagement& window = console_->open(config);
        const QStringList before = described(console_->document().configuration());
        console_->clickNode(QStringLiteral("C1A"));
        const QString selected = action.section(u' ', 1);
        if (!selected.isEmpty())
            console_->clickRow(selected, action.startsWith(u"edit"));
        console_->boxes.answerNext(Button(answer));
        if (!action.startsWith(u"edit"))
            window.findChild<QAction*>(action.section(u' ', 0, 0))->trigger();

        QWidget* dialog = ConsoleWindow::dialog(QStringLiteral("MailboxPropFrm"));
        QCOMPARE(dialog != nullptr, !typed.isEmpty());
        if (dialog) {
            for (int box = 0; box < 6; ++box)
                ConsoleWindow::type(dialog, QStringLiteral("AccountInfoTxt%1").arg(box),
                                    typed[box]);
            for (const QString& tick : typed.mid(6))
                ConsoleWindow::click(dialog, tick == u"G" ? "GlobalChkBox" : "MailHostChkBox");
            ConsoleWindow::click(dialog, QStringLiteral("OKBut"));
            // Refused, the dialog stays for the user to put it right.
            QCOMPARE(dialog->isVisible(), !message.isEmpty());
        }
        QCOMPARE(console_->boxes.shown.size(), message.isEmpty() ? 0 : 1);
        QCOMPARE(console_->boxes.shown.value(0).text.left(message.size()), message);
        QTRY_VERIFY(!console_->document().isChanged()); // auto-saved
        QCOMPARE(described(console_->stored()), stored.isEmpty() ? before : stored);
    }

    // A data file that cannot be read is named, and left exactly as it was.
    void unreadableFileLeftAlone_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("not a data file\n");
        QTest::newRow("cut short") << QByteArray(128 * 5 + 7, 'x');
    }
    void unreadableFileLeftAlone() {
        QFETCH(QByteArray, bytes);
        QFile file(console_->dataPath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const FileMod::FileResult loaded = ConsoleDocument(file.fileName()).load();
        QVERIFY2(!loaded && loaded.error.contains(file.fileName()), qPrintable(loaded.error));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
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
    }
};

QTEST_MAIN(TestFrmManagement)
#include "tst_frmmanagement.moc"
