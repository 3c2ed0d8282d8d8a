#include "ConsoleWindow.h"

using Button = MsgBox::Button;

namespace {

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

class TestAccountDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;

private slots:
    void init() { console_ = std::make_unique<ConsoleWindow>(); }
    void cleanup() { console_.reset(); }

    // What Add, Properties and Delete do to the accounts Sup and Sal, and what they refuse.
    void accounts_data() {
        QTest::addColumn<int>("setup");
        QTest::addColumn<QString>("action");     // with the account clicked first; "edit": twice
        QTest::addColumn<QStringList>("typed");  // the six boxes, then G or K: tick those
        QTest::addColumn<int>("answer");         // to the one message; -1: Escape
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
        QTest::newRow("delete, escape")
            << Alone << "accountsDelete Sal" << none << -1 << "Delete account" << none;
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
        if (answer < 0)
            console_->boxes.dismissNext();
        else
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
};

QTEST_MAIN(TestAccountDialog)
#include "tst_accountdialog.moc"
