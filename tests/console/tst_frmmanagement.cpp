#include "ConsoleWindow.h"
#include "MainMod.h"

#include <QFile>
#include <QTextBrowser>

using Button = MsgBox::Button;

namespace {

const QString Unstorable = QStringLiteral("Snow \u2603"), Server = QStringLiteral("smtp.example");

// How the accounts are kept: Primary and Secondary are machines of an array; Full has 100.
constexpr int Alone = 0, Primary = 1, Secondary = 2, Full = 3;
// Answers to the one question; None: no question expected.
constexpr int None = -2, Escape = -1, Yes = int(Button::Yes), No = int(Button::No),
              Cancel = int(Button::Cancel);

// Each account as name|server|user|password|Exchange user|remote domain|flags, where the
// flags are G for a global mail host and K for mail kept on the host.
QStringList described(const Configuration& config) {
    QStringList accounts;
    for (const AccountRecord& a : config.Accounts)
        if (!a.AccountName.isEmpty())
            accounts << a.AccountName + u'|' + a.MailServer + u'|' + a.UserName + u'|' +
                            a.Password + u'|' + a.ExchangeUser + u'|' + a.RemoteDomain + u'|' +
                            (a.GlobalMailHost ? "G" : "") + (a.KeepMailOnHost ? "K" : "");
    return accounts;
}

} // namespace

class TestFrmManagement : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;

    [[nodiscard]] QAction* action(const char* name) const {
        return console_->window->findChild<QAction*>(name);
    }

private slots:
    void init() { console_ = std::make_unique<ConsoleWindow>(); }
    void cleanup() { console_.reset(); }

    // A change saved by the change watcher or Ctrl+S, or the window closed, maybe over a file
    // another console wrote; a value the file cannot hold stays pending, the window open.
    void saving_data() {
        QTest::addColumn<RowCheck>("check");
        // pending: the server changed to, empty: nothing; elsewhere: another console wrote
        // "other" meanwhile; how: "auto" is auto-save on and nothing done.
        auto row = [this](const char* name, const QString& pending, bool elsewhere,
                          const QString& how, int answer, const QString& inFile,
                          const QString& inMemory, bool closed) {
            QTest::newRow(name) << RowCheck([=, this] {
                frmManagement& window = console_->open({}, how == u"auto");
                if (!pending.isEmpty())
                    console_->document->change(
                        [&](Configuration& c) { c.Settings.SmtpServer = pending; });
                Configuration other;
                other.Settings.SmtpServer = QStringLiteral("other");
                if (elsewhere)
                    console_->store(other);
                if (answer != None)
                    console_->boxes.answerNext(answer == Escape ? std::nullopt
                                                                : std::optional(Button(answer)));
                if (how != u"auto" && !pending.isEmpty()) // offered, not saved unasked
                    QTRY_VERIFY(action("FileSave")->isEnabled());
                if (how == u"close")
                    window.close();
                else if (how == u"FileExit")
                    action("FileExit")->trigger();
                else if (how != u"auto")
                    QTest::keySequence(&window, QKeySequence(how));
                QTRY_COMPARE(console_->document->configuration().Settings.SmtpServer, inMemory);
                QTRY_COMPARE(console_->stored().Settings.SmtpServer, inFile);
                QCOMPARE(console_->boxes.shown.isEmpty(), answer == None);
                QCOMPARE(window.isVisible(), !closed);
                if (!closed) // the Save button and the flag follow what is pending
                    QTRY_COMPARE((QList<bool>{action("FileSave")->isEnabled(),
                                              console_->document->isChanged()}),
                                 QList<bool>(2, inFile != inMemory));
            });
        };
        const QString mine = QStringLiteral("mine"), other = QStringLiteral("other");
        row("auto save", Server, false, "auto", None, Server, Server, false);
        row("Ctrl+S", Server, false, "Ctrl+S", None, Server, Server, false);
        row("auto save, unstorable", Unstorable, false, "auto", None, "", Unstorable, false);
        row("close, nothing pending", "", false, "close", None, "", "", true);
        row("close, save", Server, false, "close", Yes, Server, Server, true);
        row("close, discard", Server, false, "close", No, "", Server, true);
        row("close, cancel", Server, false, "close", Cancel, "", Server, false);
        row("close, save fails", Unstorable, false, "close", Yes, "", Unstorable, false);
        row("File, Exit, save", Server, false, "FileExit", Yes, Server, Server, true);
        row("Ctrl+Q, escape", Server, false, "Ctrl+Q", Escape, "", Server, false);
        row("elsewhere, unchanged window reloads", "", true, "auto", None, other, other, false);
        row("elsewhere, reload", mine, true, "Ctrl+S", int(Button::Reload), other, other, false);
        row("elsewhere, overwrite", mine, true, "Ctrl+S", int(Button::Overwrite), mine, mine,
            false);
        row("elsewhere, cancel", mine, true, "Ctrl+S", Cancel, other, mine, false);
    }
    void saving() { RunCheck(); }

    // What Add, Properties and Delete do to the accounts Sup and Sal, and what they refuse.
    void accounts_data() {
        QTest::addColumn<RowCheck>("check");
        // action: after a click on the account ("edit": two), answering Yes unless No; typed: the
        // six boxes, then G or K to tick; message: its start; stored: afterwards, empty: as before.
        auto row = [this](const char* name, int setup, const QString& action,
                          const QStringList& typed, const QString& message,
                          const QStringList& stored) {
            QTest::newRow(name) << RowCheck([=, this] {
                Configuration config;
                config.Accounts[0] = {"Sup", "pop", "u", "pw", false, "help", "", false};
                config.Accounts[1] = {"Sal", "pop", "u", "pw", true, "", "ex.org", false};
                for (size_t i = 2; setup == Full && i < size_t(StoredAccounts); ++i)
                    config.Accounts[i] = {
                        QString::number(i), "pop", "u", "pw", false, "x", "", false};
                config.Settings.ArrayMember = setup == Primary || setup == Secondary;
                config.Settings.ArrayPrimary = setup == Primary;
                console_->open(config);
                const QStringList before = described(console_->document->configuration());
                console_->pick("localTreeView", QStringLiteral("C1A"));
                const QString selected = action.section(u' ', 1, 1);
                if (!selected.isEmpty())
                    console_->pick("detailView", selected, action.startsWith(u"edit"));
                console_->boxes.answerNext(action.endsWith(u" No") ? Button::No : Button::Yes);
                if (!action.startsWith(u"edit"))
                    this->action(qPrintable(action.section(u' ', 0, 0)))->trigger();
                QWidget* dialog = ConsoleWindow::dialog(QStringLiteral("MailboxPropFrm"));
                QCOMPARE(dialog != nullptr, !typed.isEmpty());
                if (dialog) {
                    for (int box = 0; box < 6; ++box)
                        ConsoleWindow::type(dialog, QStringLiteral("AccountInfoTxt%1").arg(box),
                                            typed[box]);
                    for (const QString& tick : typed.mid(6))
                        ConsoleWindow::click(dialog,
                                             tick == u"G" ? "GlobalChkBox" : "MailHostChkBox");
                    ConsoleWindow::click(dialog, QStringLiteral("OKBut"));
                    // Refused, the dialog stays for the user to put it right.
                    QCOMPARE(dialog->isVisible(), !message.isEmpty());
                }
                QCOMPARE(console_->boxes.shown.size(), int(!message.isEmpty()));
                QCOMPARE(console_->boxes.shown.value(0).text.left(message.size()), message);
                QTRY_VERIFY(!console_->document->isChanged()); // auto-saved
                QCOMPARE(described(console_->stored()), stored.isEmpty() ? before : stored);
            });
        };
        const QString sup = QStringLiteral("Sup|pop|u|pw|help||"), sal = "Sal|pop|u|pw||ex.org|G";
        const QStringList typed = {" New ", "pop2", "box", "Pw", "Pw", "jdoe"}, none;
        row("add", Alone, "accountsAdd", QStringList(typed) << "K", "",
            {sup, sal, "New|pop2|box|Pw|jdoe||K"});
        row("add global", Alone, "accountsAdd", QStringList(typed) << "G", "",
            {sup, sal, "New|pop2|box|Pw||jdoe|G"});
        row("edit", Alone, "edit Sal", {"Sal", "pop", "u", "pw", "pw", "boss", "G"}, "",
            {sup, "Sal|pop|u|pw|boss||"});
        row("delete, primary", Primary, "accountsDelete Sal", none, "Delete account 'Sal'", {sup});
        row("delete, no", Alone, "accountsDelete Sal No", none, "Delete account", none);
        row("empty box", Alone, "accountsAdd", {"A", "p", "u", "p", "p", " "}, "Please complete",
            none);
        row("passwords differ", Alone, "accountsAdd", {"A", "pop", "u", "Pw", "pw", "x"},
            "Passwords do not", none);
        row("control character", Alone, "accountsAdd", {"A", "pop\tx", "u", "p", "p", "x"},
            "Mail Server holds", none);
        row("secondary", Secondary, "accountsProperties Sal", none, "Only the primary", none);
        row("nothing selected", Alone, "accountsDelete", none, "Please select", none);
        row("file full", Full, "accountsAdd", none, "No more than 100", none);
    }
    void accounts() { RunCheck(); }

    // A data file that cannot be read is named, and left exactly as it was.
    void unreadableFileLeftAlone() {
        const QByteArray bytes(128 * 5 + 7, 'x'); // cut short
        QFile file(console_->path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const FileMod::FileResult loaded = ConsoleDocument(file.fileName()).load();
        QVERIFY2(!loaded && loaded.error.contains(file.fileName()), qPrintable(loaded.error));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
    }

    // Help opens the contents in one viewer, which a second request brings back home.
    void helpOpens() {
        MainMod::HelpFolder = console_->dir.path() + u'/';
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
