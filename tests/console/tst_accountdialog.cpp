#include "ConsoleWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace {

const QString Dialog = QStringLiteral("MailboxPropFrm");

Configuration withAccounts(int count) {
    Configuration config;
    for (int i = 0; i < count; ++i) {
        AccountRecord& record = config.Accounts[static_cast<size_t>(i)];
        record = TestAccount(QStringLiteral("Account %1").arg(i), QStringLiteral("user%1").arg(i));
        record.KeepMailOnHost = true;
    }
    return config;
}

// The six boxes, in order: name, server, user, password, confirmation, Exchange user or
// remote domain.
void fill(QWidget* dialog, const QStringList& texts) {
    for (int i = 0; i < texts.size(); ++i)
        ConsoleWindow::paste(dialog, QStringLiteral("AccountInfoTxt%1").arg(i), texts[i]);
}

QString box(QWidget* dialog, int i) {
    return dialog->findChild<QLineEdit*>(QStringLiteral("AccountInfoTxt%1").arg(i))->text();
}

} // namespace

class TestAccountDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;

    ConsoleWindow& console() { return *console_; }

    // Opens the window on `config` with the accounts listed.
    void openAccounts(const Configuration& config) {
        console_->open(config);
        console_->clickNode(QStringLiteral("C1A"));
    }

    QWidget* addDialog() {
        console().pressTool(2);
        return ConsoleWindow::dialog(Dialog);
    }

private slots:
    void initTestCase() { qputenv("COMPUTERNAME", "MAILHOST"); }
    void init() { console_ = std::make_unique<ConsoleWindow>(); }
    void cleanup() { console_.reset(); }

    // The first box has the focus, and Tab goes down the dialog as it is laid out.
    void focusAndTabOrder() {
        openAccounts({});
        QWidget* dialog = addDialog();
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("AccountInfoTxt0"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("A name"));
        QVERIFY(!dialog->findChild<QCheckBox*>(QStringLiteral("GlobalChkBox"))->isChecked());
        QStringList visited;
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited,
                 QStringList({"AccountInfoTxt1", "AccountInfoTxt2", "AccountInfoTxt3",
                              "AccountInfoTxt4", "Combo1", "AccountInfoTxt5", "cboArrayComputer",
                              "GlobalChkBox", "MailHostChkBox", "OKBut"}));
    }

    // Cancel, Escape and the close box leave the account as it was.
    void leavingChangesNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close";
    }
    void leavingChangesNothing() {
        QFETCH(QString, how);
        openAccounts(withAccounts(1));
        const Configuration before = console().document().configuration();
        console().doubleClickRow(0);
        QWidget* dialog = ConsoleWindow::dialog(Dialog);
        QVERIFY(dialog);
        ConsoleWindow::type(dialog, QStringLiteral("AccountInfoTxt0"), QStringLiteral("Other"));
        ConsoleWindow::click(dialog, QStringLiteral("GlobalChkBox"));
        if (how == u"cancel")
            ConsoleWindow::click(dialog, QStringLiteral("Cancel"));
        else if (how == u"escape")
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
        QVERIFY(!ConsoleWindow::dialog(Dialog));
        QVERIFY(console().window().isEnabled());
        QCOMPARE(console().document().configuration(), before);
        QVERIFY(!console().document().isChanged());
    }

    void refusedKeepsDialogOpen_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("global");
        QTest::addColumn<QString>("message");
        const QString missing = QStringLiteral("Please complete all fields");
        QTest::newRow("empty name")
            << QStringList{"", "pop", "u", "p", "p", "x"} << false << missing;
        QTest::newRow("blank Exchange user")
            << QStringList{"A", "pop", "u", "p", "p", "   "} << false << missing;
        QTest::newRow("passwords differ in case")
            << QStringList{"A", "pop", "u", "Secret", "secret", "x"} << false
            << "Passwords do not match";
        QTest::newRow("control character") << QStringList{"A", "pop\tx", "u", "p", "p", "x"}
                                           << false << "Mail Server holds a control character";
        QTest::newRow("remote domain named after its label")
            << QStringList{"A", "pop", "u", "p", "p", QString(70, u'd')} << true
            << "Remote Domain Name ";
    }
    void refusedKeepsDialogOpen() {
        QFETCH(QStringList, texts);
        QFETCH(bool, global);
        QFETCH(QString, message);
        openAccounts({});
        QWidget* dialog = addDialog();
        if (global)
            ConsoleWindow::click(dialog, QStringLiteral("GlobalChkBox"));
        fill(dialog, texts);
        ConsoleWindow::click(dialog, QStringLiteral("OKBut"));
        QCOMPARE(console().boxes.shown.size(), 1);
        QVERIFY2(console().boxes.shown[0].text.startsWith(message),
                 qPrintable(console().boxes.shown[0].text));
        QVERIFY(dialog->isVisible());
        QVERIFY(!console().document().isChanged());
        QCOMPARE(console().list()->rowCount(), 0);
    }

    void addStoresAsTyped_data() {
        QTest::addColumn<bool>("global");
        QTest::newRow("Exchange user") << false;
        QTest::newRow("global") << true;
    }
    void addStoresAsTyped() {
        QFETCH(bool, global);
        openAccounts(withAccounts(1));
        QWidget* dialog = addDialog();
        const QStringList texts = {" Sales ", "pop.isp.example", "sales", "Pw", "Pw", "jdoe "};
        for (int i = 0; i < texts.size(); ++i)
            ConsoleWindow::type(dialog, QStringLiteral("AccountInfoTxt%1").arg(i), texts[i]);
        if (global)
            ConsoleWindow::click(dialog, QStringLiteral("GlobalChkBox"));
        ConsoleWindow::click(dialog, QStringLiteral("MailHostChkBox"));
        ConsoleWindow::click(dialog, QStringLiteral("OKBut"));
        QVERIFY(console().boxes.shown.isEmpty());
        QVERIFY(!ConsoleWindow::dialog(Dialog));
        QCOMPARE(console().list()->rowCount(), 2);

        AccountRecord expected;
        expected.AccountName = texts[0];
        expected.MailServer = texts[1];
        expected.UserName = texts[2];
        expected.Password = texts[3];
        expected.GlobalMailHost = global;
        (global ? expected.RemoteDomain : expected.ExchangeUser) = texts[5];
        expected.KeepMailOnHost = true;
        QCOMPARE(console().document().configuration().Accounts[1], expected);
        QTRY_VERIFY_WITH_TIMEOUT(!console().document().isChanged(), 2500);
        expected.AccountName = QStringLiteral("Sales"); // the file keeps names trimmed
        QCOMPARE(console().stored().Accounts[1], expected);
    }

    void propertiesEditsTheAccount() {
        Configuration config = withAccounts(2);
        config.Accounts[1].GlobalMailHost = true;
        config.Accounts[1].RemoteDomain = QStringLiteral("example.org");
        openAccounts(config);
        console().document().change([](Configuration& c) {
            c.Machines[0].MachineName = QStringLiteral("ALPHA");
            c.Machines[2].MachineName = QStringLiteral("GAMMA");
        });
        console().doubleClickRow(1);
        QWidget* dialog = ConsoleWindow::dialog(Dialog);
        QVERIFY(dialog);
        const QStringList shown = {box(dialog, 0), box(dialog, 1), box(dialog, 2),
                                   box(dialog, 3), box(dialog, 4), box(dialog, 5)};
        QCOMPARE(shown, QStringList({"Account 1", "pop.isp.example", "user", "secret", "secret",
                                     "example.org"}));
        QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("cboArrayComputer"))->count(), 2);
        ConsoleWindow::click(dialog, QStringLiteral("GlobalChkBox"));
        ConsoleWindow::type(dialog, QStringLiteral("AccountInfoTxt5"), QStringLiteral("boss"));
        ConsoleWindow::click(dialog, QStringLiteral("OKBut"));

        const AccountRecord& edited = console().document().configuration().Accounts[1];
        QVERIFY(!edited.GlobalMailHost);
        QCOMPARE(edited.ExchangeUser, QStringLiteral("boss"));
        QVERIFY(edited.RemoteDomain.isEmpty());
        QCOMPARE(console().list()->rowCount(), 2);
    }

    void operationsRefused_data() {
        QTest::addColumn<bool>("member");
        QTest::addColumn<bool>("primary");
        QTest::addColumn<int>("tool");
        QTest::addColumn<bool>("clickFirst");
        QTest::addColumn<QString>("message");
        const QString array =
            QStringLiteral("Only the primary machine in the array can manipulate POP accounts");
        const QString select = QStringLiteral("Please select an account first");
        for (int tool : {2, 3, 4})
            QTest::addRow("secondary array machine, tool %d", tool)
                << true << false << tool << true << array;
        QTest::newRow("delete, nothing clicked") << false << false << 3 << false << select;
        QTest::newRow("properties, nothing clicked") << false << false << 4 << false << select;
        QTest::newRow("primary machine") << true << true << 4 << true << QString();
        QTest::newRow("no array") << false << true << 2 << true << QString();
    }
    void operationsRefused() {
        QFETCH(bool, member);
        QFETCH(bool, primary);
        QFETCH(int, tool);
        QFETCH(bool, clickFirst);
        QFETCH(QString, message);
        Configuration config = withAccounts(2);
        config.Settings.ArrayMember = member;
        config.Settings.ArrayPrimary = primary;
        openAccounts(config);
        if (clickFirst)
            console().clickRow(0);
        console().pressTool(tool);
        if (message.isEmpty()) {
            QVERIFY(console().boxes.shown.isEmpty());
            QVERIFY(ConsoleWindow::dialog(Dialog));
            return;
        }
        QCOMPARE(console().boxes.shown.size(), 1);
        QCOMPARE(console().boxes.shown[0].text, message);
        QCOMPARE(console().boxes.shown[0].icon, MsgBox::Icon::Information);
        QVERIFY(!ConsoleWindow::dialog(Dialog));
        QCOMPARE(console().list()->rowCount(), 2);
    }

    // One more than the file keeps would vanish at the next save.
    void addRefusedAtTheFileLimit_data() {
        QTest::addColumn<int>("accounts");
        QTest::addColumn<bool>("opens");
        QTest::newRow("99 listed") << 99 << true;
        QTest::newRow("100 listed") << 100 << false;
    }
    void addRefusedAtTheFileLimit() {
        QFETCH(int, accounts);
        QFETCH(bool, opens);
        openAccounts(withAccounts(accounts));
        QCOMPARE(console().list()->rowCount(), accounts);
        QCOMPARE(bool(addDialog()), opens);
        QCOMPARE(console().boxes.shown.size(), opens ? 0 : 1);
    }
};

QTEST_MAIN(TestAccountDialog)
#include "tst_accountdialog.moc"
