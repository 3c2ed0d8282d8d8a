#include "ConsoleWindow.h"
#include "FileMod.h"
#include "StringTable.h"
#include "frmManagement.h"

#include <QAction>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

using Button = MsgBox::Button;

class TestFrmManagement : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;
    frmManagement* window_ = nullptr;

    void open(const Configuration& config = {}) { window_ = &console_->open(config); }
    Configuration stored() const { return console_->stored(); }
    void clickNode(const QString& key) { console_->clickNode(key); }
    QAbstractItemModel* listModel() const { return console_->list(); }
    void doubleClickRow(int row) { console_->doubleClickRow(row); }

    QString panel(const char* name) const {
        return window_->findChild<QLabel*>(QLatin1String(name))->text();
    }

    QList<QAction*> toolButtons() const {
        QList<QAction*> buttons;
        for (QAction* action : window_->findChild<QToolBar*>()->actions())
            if (!action->isSeparator())
                buttons.append(action);
        return buttons;
    }

    QMenu* menu(const char* name) const { return window_->findChild<QMenu*>(QLatin1String(name)); }

    QStringList rows() const {
        QStringList out;
        const QAbstractItemModel* model = listModel();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex name = model->index(row, 0);
            const QModelIndex comment = model->index(row, 1);
            out.append(QStringLiteral("%1|%2|%3|%4|%5")
                           .arg(name.data(frmManagement::KeyRole).toString(),
                                name.data().toString(), comment.data().toString())
                           .arg(name.data(frmManagement::IconNumberRole).toInt())
                           .arg(comment.data(Qt::ToolTipRole).toString()));
        }
        return out;
    }

    void storePreferences(const QVariant& autoSave, const QVariant& mode) {
        QSettings settings(QStringLiteral("QVL_POP3"));
        settings.clear();
        if (autoSave.isValid())
            settings.setValue(QStringLiteral("Interface/AutoSave"), autoSave);
        if (mode.isValid())
            settings.setValue(QStringLiteral("Interface/LVMode"), mode);
    }

private slots:
    void initTestCase() { qputenv("COMPUTERNAME", "MAILHOST"); }

    void init() { console_ = std::make_unique<ConsoleWindow>(); }

    void cleanup() { console_.reset(); }

    void captions() {
        open();
        QCOMPARE(window_->windowTitle(), QStringLiteral("Hollimere"));
        QStringList titles;
        for (QAction* action : window_->menuBar()->actions())
            titles.append(action->text());
        QCOMPARE(titles, QStringList({"&File", "&Accounts", "&View", "Op&tions", "&Help"}));
        QCOMPARE(menu("FileMenu")->actions().value(0)->text(), QStringLiteral("E&xit"));
        QVERIFY(!menu("AccountsMenu")->isEnabled());
        QCOMPARE(panel("filePanel"), QStringLiteral("File Status: "));
        QCOMPARE(toolButtons().size(), 11);
        QCOMPARE(toolButtons().value(0)->toolTip(), QStringLiteral("Save Changes"));
        QCOMPARE(toolButtons().value(10)->toolTip(), QStringLiteral("Help"));
        for (int position = 1; position <= 11; ++position) {
            QAction* button = toolButtons().value(position - 1);
            QCOMPARE(button->isEnabled(), position > 4);
            // A blank picture would mean the SVG image plugin is missing.
            QVERIFY(!button->icon().pixmap(24).isNull());
        }
    }

    void layoutFollowsTheWindow() {
        open();
        window_->resize(900, 600);
        const QWidget* inner = window_->centralWidget();
        const auto* tree = window_->findChild<QTreeWidget*>(QStringLiteral("localTreeView"));
        const auto* list = window_->findChild<QStackedWidget*>(QStringLiteral("localListView"));
        QTRY_COMPARE(tree->width(), inner->width() / 3);
        QCOMPARE(tree->height(), inner->height());
        QCOMPARE(list->geometry(),
                 QRect(tree->width(), 0, inner->width() - tree->width(), inner->height()));
        QCOMPARE(window_->findChild<QTreeView*>(QStringLiteral("detailView"))->columnWidth(0),
                 list->width() / 3);
    }

    void stringTable_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("service panel ends in a blank") << 215 << "Service Status: ";
        QTest::newRow("file panel ends in a blank") << 217 << "File Status: ";
        QTest::newRow("two blanks after a full stop")
            << 353
            << "Mail has been queried, do not query mail again until the previous query has "
               "finished.  Check the application event log.";
        QTest::newRow("marker") << 109 << "****GENERAL******";
    }
    void stringTable() {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(LoadResString(id), text);
    }

    void tree() {
        open();
        auto* tree = window_->findChild<QTreeWidget*>(QStringLiteral("localTreeView"));
        QStringList nodes;
        const auto all =
            tree->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
        for (const QTreeWidgetItem* node : all)
            nodes.append(node->data(0, frmManagement::KeyRole).toString() + '|' + node->text(0) +
                         (node->isExpanded() ? "|open" : ""));
        QCOMPARE(nodes,
                 QStringList({"R|Connector Management|open", "C1|MAILHOST|open", "C1A|Pop Accounts",
                              "C1B|SMTP Settings", "C1C|Service Setup", "C1D|Options",
                              "C1E|New Features Soon", "C1F|New Features Soon"}));
    }

    void itemList_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("accountsEnabled");
        QTest::newRow("accounts")
            << "C1A"
            << QStringList({"X0|Sales|sales|2|sales",
                            "X1|Whole domain|Global ISP Mail Host/Automatic|1|Global ISP Mail "
                            "Host/Automatic",
                            "X3|Archive| jm |2| jm ", "X100|Last listed|last|2|last"})
            << true;
        QTest::newRow("smtp") << "C1B"
                              << QStringList({"B1|Modify SMTP Settings|Configure your SMTP "
                                              "settings|17|"})
                              << false;
        QTest::newRow("service")
            << "C1C"
            << QStringList({"C1|Start Service|Start the service|12|",
                            "C2|Stop Service|Stop the service|13|",
                            "C3|Install Service|Add the service to the list of services to run on "
                            "startup|14|",
                            "C4|Uninstall Service|Remove the service from the list of services to "
                            "run on startup|15|"})
            << false;
        QTest::newRow("options")
            << "C1D"
            << QStringList(
                   {"D1|Schedule|Schedule frequency of mail download|3|",
                    "D2|Retrieve Mail|Force Mail retrieval|4|",
                    "D3|Undeliverable Mail|Change how mail is returned to sender|5|",
                    "D4|Internet Check|Determine if an Internet connection is verified|6|",
                    "D5|Logging Mode|Modify How detailed logging will be to the event log|7|",
                    "D6|Timeout Values|Change the default timeout values for connections|18|"})
            << false;
        QTest::newRow("new features") << "C1E" << QStringList() << false;
        QTest::newRow("computer") << "C1" << QStringList() << false;
        QTest::newRow("root") << "R" << QStringList() << false;
    }
    void itemList() {
        QFETCH(QString, node);
        QFETCH(QStringList, expected);
        QFETCH(bool, accountsEnabled);
        Configuration config;
        config.Accounts[0] = TestAccount("Sales", "sales");
        config.Accounts[1] = TestAccount("Whole domain", "   ");
        config.Accounts[3] = TestAccount("Archive", " jm ");
        config.Accounts[100] = TestAccount("Last listed", "last");
        config.Accounts[101] = TestAccount("Beyond the list", "beyond");
        open();
        // Records beyond the stored hundred only exist in memory.
        window_->configuration().Accounts = config.Accounts;
        clickNode(QStringLiteral("C1A")); // a different node first, so every click counts
        clickNode(node);
        QCOMPARE(rows(), expected);
        QCOMPARE(menu("AccountsMenu")->isEnabled(), accountsEnabled);
        for (int position : {2, 3, 4})
            QCOMPARE(toolButtons().value(position - 1)->isEnabled(), accountsEnabled);
        QVERIFY(toolButtons().value(4)->isEnabled());
        QVERIFY(window_->itemClicked().isEmpty());
    }

    void preferences_data() {
        QTest::addColumn<QVariant>("autoSave");
        QTest::addColumn<QVariant>("mode");
        QTest::addColumn<bool>("autoSaveOn");
        QTest::addColumn<int>("shownMode");
        QTest::newRow("nothing stored") << QVariant() << QVariant() << true << 3;
        QTest::newRow("auto save off") << QVariant("0") << QVariant("1") << false << 1;
        QTest::newRow("auto save as a number") << QVariant("1.0") << QVariant("0") << true << 0;
        QTest::newRow("not a number") << QVariant("yes") << QVariant("2") << false << 2;
        QTest::newRow("unknown view") << QVariant("1") << QVariant("7") << true << 3;
    }
    void preferences() {
        QFETCH(QVariant, autoSave);
        QFETCH(QVariant, mode);
        QFETCH(bool, autoSaveOn);
        QFETCH(int, shownMode);
        storePreferences(autoSave, mode);
        open();
        QCOMPARE(window_->findChild<QAction*>(QStringLiteral("OptionsAutoSave"))->isChecked(),
                 autoSaveOn);
        QCOMPARE(int(window_->listMode()), shownMode);
        auto* stack = window_->findChild<QStackedWidget*>(QStringLiteral("localListView"));
        auto* icons = window_->findChild<QListView*>(QStringLiteral("iconView"));
        QCOMPARE(stack->currentWidget()->objectName(),
                 shownMode == 3 ? QStringLiteral("detailView") : QStringLiteral("iconView"));
        if (shownMode != 3)
            QCOMPARE(icons->viewMode(), shownMode == 0 ? QListView::IconMode : QListView::ListMode);
    }

    void preferencesWrittenOnClose() {
        open();
        toolButtons().value(6)->trigger(); // Large Icons
        window_->findChild<QAction*>(QStringLiteral("OptionsAutoSave"))->trigger();
        QVERIFY(window_->close());
        QSettings settings(QStringLiteral("QVL_POP3"));
        QCOMPARE(settings.value(QStringLiteral("Interface/AutoSave")).toString(), "0");
        QCOMPARE(settings.value(QStringLiteral("Interface/LVMode")).toString(), "0");
    }

    void autoSaveOffWaitsForSave() {
        storePreferences("0", {});
        open();
        window_->configuration().Settings.SmtpServer = QStringLiteral("smtp.example");
        window_->setDataChanged();
        QTRY_COMPARE(panel("filePanel"),
                     QStringLiteral("File Status: Changes Detected, auto save off"));
        QVERIFY(toolButtons().value(0)->isEnabled());
        QCOMPARE(stored().Settings.SmtpServer, QString());
        toolButtons().value(0)->trigger();
        QCOMPARE(panel("filePanel"), QStringLiteral("File Status: Ready."));
        QCOMPARE(stored().Settings.SmtpServer, QStringLiteral("smtp.example"));
        QVERIFY(!toolButtons().value(0)->isEnabled());
        QVERIFY(!window_->dataChanged());
    }

    void autoSaveRebuildsListFromFile() {
        Configuration config;
        config.Accounts[0] = TestAccount("First", "one");
        config.Accounts[1] = TestAccount("Second", "two");
        open(config);
        clickNode(QStringLiteral("C1A"));
        window_->configuration().Accounts[0].AccountName.clear(); // as a deletion leaves it
        window_->setDataChanged();
        QTRY_COMPARE_WITH_TIMEOUT(panel("filePanel"), QStringLiteral("File Status: Ready"), 2500);
        QCOMPARE(rows(), QStringList({"X0|Second|two|2|two"}));
        QCOMPARE(stored().Accounts[0].AccountName, QStringLiteral("Second"));
    }

    // A failed save must neither reload over the changes nor forget that they are pending.
    void failedSaveKeepsChanges_data() {
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<QString>("status");
        QTest::newRow("change watcher") << true << "File Status: Unable to save";
        QTest::newRow("save button") << false << "File Status: Unable to save.";
    }
    void failedSaveKeepsChanges() {
        QFETCH(bool, autoSave);
        QFETCH(QString, status);
        storePreferences(autoSave ? "1" : "0", {});
        open();
        const QString unstorable = QStringLiteral("Snow \u2603");
        window_->configuration().Accounts[0] = TestAccount(unstorable, "snow");
        window_->setDataChanged();
        if (!autoSave) {
            // The Save button is enabled once the watcher has seen the change.
            QTRY_VERIFY(toolButtons().value(0)->isEnabled());
            toolButtons().value(0)->trigger();
        }
        QTRY_COMPARE_WITH_TIMEOUT(panel("filePanel"), status, 2500);
        QCOMPARE(panel("filePanel"), status);
        QCOMPARE(window_->configuration().Accounts[0].AccountName, unstorable);
        QVERIFY(window_->dataChanged());
        QVERIFY(toolButtons().value(0)->isEnabled());
        QVERIFY(stored().Accounts[0].AccountName.isEmpty());
    }

    void closing_data() {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("inFile");
        QTest::newRow("nothing pending") << false << int(Button::Yes) << false << "";
        QTest::newRow("pending, save") << true << int(Button::Yes) << true << "smtp.example";
        QTest::newRow("pending, discard") << true << int(Button::No) << true << "";
    }
    void closing() {
        QFETCH(bool, changed);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(QString, inFile);
        storePreferences("0", {});
        open();
        window_->configuration().Settings.SmtpServer = QStringLiteral("smtp.example");
        if (changed)
            window_->setDataChanged();
        console_->boxes.answerNext(Button(answer));
        QVERIFY(window_->close());
        QCOMPARE(console_->boxes.shown.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(console_->boxes.shown[0].text,
                     QStringLiteral("Do you want to save you changes?"));
            QCOMPARE(console_->boxes.shown[0].title, QStringLiteral("Save"));
            QCOMPARE(console_->boxes.shown[0].icon, MsgBox::Icon::Exclamation);
        }
        QCOMPARE(stored().Settings.SmtpServer, inFile);
    }

    void closingWithFailedSaveStaysOpen() {
        storePreferences("0", {});
        open();
        window_->configuration().Settings.SmtpServer = QStringLiteral("\u2603");
        window_->setDataChanged();
        QVERIFY(!window_->close());
        QCOMPARE(console_->boxes.shown.size(), 2);
        QCOMPARE(console_->boxes.shown[1].icon, MsgBox::Icon::Critical);
        QVERIFY(console_->boxes.shown[1].text.startsWith(QStringLiteral("Unable to save")));
        QVERIFY(window_->isVisible());
    }

    void fileExitNeverAsks() {
        storePreferences("0", "1");
        open();
        window_->configuration().Settings.SmtpServer = QStringLiteral("smtp.example");
        window_->setDataChanged();
        window_->findChild<QAction*>(QStringLiteral("OptionsAutoSave"))->trigger();
        window_->findChild<QAction*>(QStringLiteral("FileExit"))->trigger();
        QVERIFY(!window_->isVisible());
        QVERIFY(console_->boxes.shown.isEmpty());
        QCOMPARE(stored().Settings.SmtpServer, QString());
        QCOMPARE(QSettings(QStringLiteral("QVL_POP3")).value("Interface/AutoSave").toString(), "0");
    }

    void servicePanel_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("not installed") << "" << 0 << "Service Status: Not Installed";
        QTest::newRow("other letter case") << "pop3_qvl" << 4 << "Service Status: Not Installed";
        QTest::newRow("stopped") << "Pop3_QVL" << 1 << "Service Status: Offline";
        QTest::newRow("start pending") << "Pop3_QVL" << 2 << "Service Status: Online";
        QTest::newRow("running") << "Pop3_QVL" << 4 << "Service Status: Online";
        QTest::newRow("paused") << "Pop3_QVL" << 7 << "Service Status: Online";
    }
    void servicePanel() {
        QFETCH(QString, name);
        QFETCH(int, status);
        QFETCH(QString, text);
        if (!name.isEmpty())
            console_->services.setService(name, status);
        open();
        QCOMPARE(panel("servicePanel"), text);
    }

    void servicePanelFollowsThePoll() {
        open();
        QCOMPARE(window_->serviceState(), 0);
        console_->services.setService(QStringLiteral("Pop3_QVL"), 1);
        QTRY_COMPARE_WITH_TIMEOUT(panel("servicePanel"), QStringLiteral("Service Status: Offline"),
                                  4500);
        QCOMPARE(window_->serviceState(), 1);
    }

    void internetCheck_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("after");
        QTest::newRow("check on, keep it") << "0" << int(Button::Yes) << int(Button::Yes) << "0";
        QTest::newRow("never set, switch off") << "" << int(Button::Yes) << int(Button::No) << "1";
        QTest::newRow("check off, switch on") << "1" << int(Button::No) << int(Button::Yes) << "0";
    }
    void internetCheck() {
        QFETCH(QString, before);
        QFETCH(int, defaultButton);
        QFETCH(int, answer);
        QFETCH(QString, after);
        Configuration config;
        config.Settings.NoInternetCheck = before;
        open(config);
        clickNode(QStringLiteral("C1D"));
        console_->boxes.answerNext(Button(answer));
        doubleClickRow(3);
        QCOMPARE(window_->itemClicked(), QStringLiteral("D4"));
        QCOMPARE(console_->boxes.shown.size(), 1);
        const MsgBox::Request& box = console_->boxes.shown[0];
        QCOMPARE(box.text,
                 QStringLiteral(
                     "Do you want to confirm an Internet connection before querying for mail?"));
        QCOMPARE(box.title, QStringLiteral("Internet Connection"));
        QCOMPARE(box.icon, MsgBox::Icon::Question);
        QCOMPARE(int(box.defaultButton), defaultButton);
        QCOMPARE(window_->configuration().Settings.NoInternetCheck, after);
        QVERIFY(window_->dataChanged());
    }

    // A double-click after a tree click acts on the row, without a message or a change.
    void doubleClickWithoutAction_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("row");
        QTest::newRow("schedule") << "C1D" << 0;
        QTest::newRow("smtp settings") << "C1B" << 0;
    }
    void doubleClickWithoutAction() {
        QFETCH(QString, node);
        QFETCH(int, row);
        open();
        clickNode(node);
        doubleClickRow(row);
        QVERIFY(!window_->itemClicked().isEmpty());
        QVERIFY(console_->boxes.shown.isEmpty());
        QVERIFY(!window_->dataChanged());
    }
};

QTEST_MAIN(TestFrmManagement)
#include "tst_frmmanagement.moc"
