#include "ConsoleWindow.h"
#include "StringTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>

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

QString label6(QWidget* dialog) {
    return dialog->findChild<QLabel*>(QStringLiteral("NameLbl6"))->text();
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

    void captionsAndMasking() {
        openAccounts({});
        QWidget* dialog = addDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Account Properties"));
        for (int i = 0; i < 8; ++i)
            QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("NameLbl%1").arg(i))->text(),
                     LoadResString(178 + i));
        QCOMPARE(dialog->findChild<QCheckBox*>(QStringLiteral("GlobalChkBox"))->text(),
                 QStringLiteral("Global ISP Mail Host"));
        QCOMPARE(dialog->findChild<QCheckBox*>(QStringLiteral("MailHostChkBox"))->text(),
                 QStringLiteral("Keep Mail on Host"));
        for (int i = 0; i < 6; ++i)
            QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("AccountInfoTxt%1").arg(i))
                         ->echoMode(),
                     i == 3 || i == 4 ? QLineEdit::Password : QLineEdit::Normal);
        QVERIFY(!console().window().isEnabled());
    }

    void globalBoxRenamesLabel() {
        openAccounts({});
        QWidget* dialog = addDialog();
        ConsoleWindow::click(dialog, QStringLiteral("GlobalChkBox"));
        QCOMPARE(label6(dialog), QStringLiteral("Remote Domain Name:"));
        ConsoleWindow::click(dialog, QStringLiteral("GlobalChkBox"));
        QCOMPARE(label6(dialog), QStringLiteral("Exchange User:"));
    }

    void refusedKeepsDialogOpen_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("global");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        const auto exclamation = int(MsgBox::Icon::Exclamation);
        const QString missing = QStringLiteral("Please complete all fields");
        QTest::newRow("empty name") << QStringList{"", "pop", "u", "p", "p", "x"} << false
                                    << missing << "Missing Information" << exclamation;
        QTest::newRow("blank Exchange user")
            << QStringList{"A", "pop", "u", "p", "p", "   "} << false << missing
            << "Missing Information" << exclamation;
        QTest::newRow("blank remote domain") << QStringList{"A", "pop", "u", "p", "p", " "} << true
                                             << missing << "Missing Information" << exclamation;
        QTest::newRow("passwords differ in case")
            << QStringList{"A", "pop", "u", "Secret", "secret", "x"} << false
            << "Passwords do not match"
            << "Password" << int(MsgBox::Icon::Information);
        QTest::newRow("control character") << QStringList{"A", "pop\tx", "u", "p", "p", "x"}
                                           << false << "Mail Server holds a control character"
                                           << "Account Properties" << exclamation;
        QTest::newRow("no Windows-1252 byte")
            << QStringList{"A", "pop", QString(QChar(0x03A9)), "p", "p", "x"} << false
            << "Username "
            << "Account Properties" << exclamation;
        QTest::newRow("63 characters")
            << QStringList{QString(63, u'n'), "pop", "u", "p", "p", "x"} << false << "Account Name "
            << "Account Properties" << exclamation;
        QTest::newRow("remote domain named after its label")
            << QStringList{"A", "pop", "u", "p", "p", QString(70, u'd')} << true
            << "Remote Domain Name "
            << "Account Properties" << exclamation;
    }
    void refusedKeepsDialogOpen() {
        QFETCH(QStringList, texts);
        QFETCH(bool, global);
        QFETCH(QString, message);
        QFETCH(QString, title);
        QFETCH(int, icon);
        openAccounts({});
        QWidget* dialog = addDialog();
        if (global)
            ConsoleWindow::click(dialog, QStringLiteral("GlobalChkBox"));
        fill(dialog, texts);
        ConsoleWindow::click(dialog, QStringLiteral("OKBut"));
        QCOMPARE(console().boxes.shown.size(), 1);
        QVERIFY2(console().boxes.shown[0].text.startsWith(message),
                 qPrintable(console().boxes.shown[0].text));
        QCOMPARE(console().boxes.shown[0].title, title);
        QCOMPARE(int(console().boxes.shown[0].icon), icon);
        QVERIFY(dialog->isVisible());
        QVERIFY(console().window().configuration().Accounts[0].AccountName.isEmpty());
        QVERIFY(!console().window().dataChanged());
        QCOMPARE(console().list()->rowCount(), 0);
    }

    void addStoresAsTyped_data() {
        QTest::addColumn<bool>("global");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<int>("icon");
        QTest::newRow("Exchange user") << false << "jdoe " << 2;
        QTest::newRow("global") << true << "Global ISP Mail Host/Automatic" << 1;
    }
    void addStoresAsTyped() {
        QFETCH(bool, global);
        QFETCH(QString, comment);
        QFETCH(int, icon);
        Configuration config = withAccounts(1);
        openAccounts(config);
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
        QVERIFY(console().window().isEnabled());

        const QModelIndex name = console().list()->index(1, 0);
        QCOMPARE(name.data().toString(), QStringLiteral(" Sales "));
        QVERIFY(QRegularExpression(QStringLiteral("^X[0-9.e+]+A$"))
                    .match(name.data(frmManagement::KeyRole).toString())
                    .hasMatch());
        QCOMPARE(name.data(frmManagement::IconNumberRole).toInt(), icon);
        QCOMPARE(console().list()->index(1, 1).data().toString(), comment);
        QCOMPARE(name.data(Qt::ToolTipRole).toString(), comment);

        AccountRecord expected;
        expected.AccountName = texts[0];
        expected.MailServer = texts[1];
        expected.UserName = texts[2];
        expected.Password = texts[3];
        expected.GlobalMailHost = global;
        (global ? expected.RemoteDomain : expected.ExchangeUser) = texts[5];
        expected.KeepMailOnHost = true;
        QCOMPARE(console().window().configuration().Accounts[1], expected);

        QTRY_COMPARE_WITH_TIMEOUT(console().filePanel(), QStringLiteral("File Status: Ready"),
                                  2500);
        expected.AccountName = QStringLiteral("Sales"); // the file keeps names trimmed
        QCOMPARE(console().stored().Accounts[1], expected);
        QCOMPARE(console().list()->index(1, 0).data(frmManagement::KeyRole).toString(),
                 QStringLiteral("X1"));
    }

    void propertiesEditsTheRowAndForgetsChoices() {
        Configuration config = withAccounts(2);
        config.Accounts[1].GlobalMailHost = true;
        config.Accounts[1].RemoteDomain = QStringLiteral("example.org");
        openAccounts(config);
        std::array<ArrayMachine, MachineCount>& machines =
            console().window().configuration().Machines;
        machines[0].MachineName = QStringLiteral("ALPHA");
        machines[2].MachineName = QStringLiteral("GAMMA");
        console().doubleClickRow(1);
        QWidget* dialog = ConsoleWindow::dialog(Dialog);
        QVERIFY(dialog);
        const QStringList shown = {box(dialog, 0), box(dialog, 1), box(dialog, 2),
                                   box(dialog, 3), box(dialog, 4), box(dialog, 5)};
        QCOMPARE(shown, QStringList({"Account 1", "pop.isp.example", "user", "secret", "secret",
                                     "example.org"}));
        QCOMPARE(label6(dialog), QStringLiteral("Remote Domain Name:"));
        QVERIFY(dialog->findChild<QCheckBox*>(QStringLiteral("MailHostChkBox"))->isChecked());
        auto* computers = dialog->findChild<QComboBox*>(QStringLiteral("cboArrayComputer"));
        QCOMPARE(computers->count(), 2);
        computers->setCurrentIndex(1);
        ConsoleWindow::click(dialog, QStringLiteral("GlobalChkBox"));
        ConsoleWindow::type(dialog, QStringLiteral("AccountInfoTxt5"), QStringLiteral("boss"));
        ConsoleWindow::click(dialog, QStringLiteral("OKBut"));

        const AccountRecord& edited = console().window().configuration().Accounts[1];
        QVERIFY(!edited.GlobalMailHost);
        QCOMPARE(edited.ExchangeUser, QStringLiteral("boss"));
        QVERIFY(edited.RemoteDomain.isEmpty());
        QCOMPARE(console().list()->rowCount(), 2);
        QCOMPARE(console().list()->index(1, 1).data().toString(), QStringLiteral("boss"));
        QCOMPARE(console().list()->index(1, 0).data(frmManagement::IconNumberRole).toInt(), 2);

        console().pressTool(4);
        dialog = ConsoleWindow::dialog(Dialog);
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("cboArrayComputer"))->currentText(),
                 QStringLiteral("ALPHA"));
        QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("Combo1"))->currentText(),
                 QStringLiteral("Basic Authentication"));
    }

    void deleteGreysTheRowUntilTheSave() {
        openAccounts(withAccounts(3));
        console().clickRow(1);
        console().pressTool(3);
        QCOMPARE(console().list()->index(1, 0).data().toString(), QStringLiteral("**DELETED**"));
        QCOMPARE(console().list()->index(1, 1).data().toString(), QStringLiteral("**DELETED**"));
        QVERIFY(console().list()->index(1, 0).data(frmManagement::DeletedRole).toBool());
        AccountRecord cleared;
        cleared.KeepMailOnHost = true; // the Booleans stay
        QCOMPARE(console().window().configuration().Accounts[1], cleared);

        console().pressTool(4);
        QCOMPARE(console().boxes.shown.size(), 1);
        QCOMPARE(console().boxes.shown[0].text, QStringLiteral("This Account has been deleted"));
        QCOMPARE(console().boxes.shown[0].icon, MsgBox::Icon::Exclamation);
        QVERIFY(!ConsoleWindow::dialog(Dialog));

        QTRY_COMPARE_WITH_TIMEOUT(console().list()->rowCount(), 2, 2500);
        QCOMPARE(console().list()->index(1, 0).data().toString(), QStringLiteral("Account 2"));
        QCOMPARE(console().list()->index(1, 0).data(frmManagement::KeyRole).toString(),
                 QStringLiteral("X1"));
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
        QCOMPARE(console().window().configuration().Accounts[0].AccountName,
                 QStringLiteral("Account 0"));
        QCOMPARE(console().list()->index(0, 0).data().toString(), QStringLiteral("Account 0"));
    }

    void accountsMenu() {
        openAccounts(withAccounts(1));
        const QList<QAction*> items =
            console().window().findChild<QMenu*>(QStringLiteral("AccountsMenu"))->actions();
        console().clickRow(0);
        items.value(2)->trigger(); // Properties
        QWidget* dialog = ConsoleWindow::dialog(Dialog);
        QVERIFY(dialog);
        QCOMPARE(box(dialog, 0), QStringLiteral("Account 0"));
        ConsoleWindow::click(dialog, QStringLiteral("Cancel"));
        items.value(1)->trigger(); // Delete
        QCOMPARE(console().list()->index(0, 0).data().toString(), QStringLiteral("**DELETED**"));
        items.value(0)->trigger(); // Add
        QVERIFY(ConsoleWindow::dialog(Dialog));
        QCOMPARE(box(ConsoleWindow::dialog(Dialog), 0), QString());
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
        if (!opens)
            QVERIFY(console().boxes.shown[0].text.startsWith(
                QStringLiteral("No more than 100 POP accounts")));
    }
};

QTEST_MAIN(TestAccountDialog)
#include "tst_accountdialog.moc"
