#include "ConsoleWindow.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>

using Button = MsgBox::Button;

namespace {

const QString Sales = QStringLiteral("Sales");

Configuration twoAccounts() {
    Configuration config;
    config.Accounts[0] = TestAccount(QStringLiteral("Support"), QStringLiteral("help"));
    config.Accounts[1] = TestAccount(Sales, QStringLiteral("sales"));
    return config;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
}

// The mnemonic letter of `text`, lower case; null when it has none.
QChar accessKey(const QString& text) {
    for (qsizetype i = text.indexOf(u'&'); i >= 0 && i + 1 < text.size();
         i = text.indexOf(u'&', i + 2))
        if (text.at(i + 1) != u'&')
            return text.at(i + 1).toLower();
    return {};
}

} // namespace

class TestFrmManagement : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;
    frmManagement* window_ = nullptr;

    void open(const Configuration& config = {}) {
        window_ = &console_->open(config);
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_));
    }
    Configuration stored() const { return console_->stored(); }
    QAction* action(const char* name) const {
        return window_->findChild<QAction*>(QLatin1String(name));
    }
    QTreeView* list() const { return window_->findChild<QTreeView*>(QStringLiteral("detailView")); }
    QStringList shownNames() const {
        QStringList names;
        for (int row = 0; row < console_->list()->rowCount(); ++row)
            names.append(console_->list()->index(row, 0).data().toString());
        return names;
    }
    void setAutoSave(bool on) {
        QSettings(QStringLiteral("QVL_POP3")).setValue("Interface/AutoSave", on ? "1" : "0");
    }
    // Selects the row of account `name` in the list, with the list focused.
    void selectAccount(const QString& name) {
        console_->clickNode(QStringLiteral("C1A"));
        const int row = static_cast<int>(shownNames().indexOf(name));
        QVERIFY(row >= 0);
        console_->clickRow(row);
        list()->setFocus();
    }

private slots:
    void initTestCase() { qputenv("COMPUTERNAME", "MAILHOST"); }
    void init() { console_ = std::make_unique<ConsoleWindow>(); }
    void cleanup() { console_.reset(); }

    void itemList_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("smtp") << "C1B" << QStringList{"B1"};
        QTest::newRow("service") << "C1C" << QStringList{"C1", "C2", "C3", "C4"};
        QTest::newRow("options") << "C1D" << QStringList{"D1", "D2", "D3", "D4", "D5", "D6"};
        QTest::newRow("new features") << "C1E" << QStringList();
    }
    void itemList() {
        QFETCH(QString, node);
        QFETCH(QStringList, keys);
        open(twoAccounts());
        console_->clickNode(QStringLiteral("C1A"));
        QCOMPARE(shownNames(), QStringList({Sales, "Support"})); // sorted by name
        QVERIFY(window_->findChild<QMenu*>(QStringLiteral("AccountsMenu"))->isEnabled());
        console_->clickNode(node);
        QStringList shown;
        for (int row = 0; row < console_->list()->rowCount(); ++row)
            shown.append(console_->list()->index(row, 0).data(frmManagement::KeyRole).toString());
        QCOMPARE(shown, keys);
        QVERIFY(!window_->findChild<QMenu*>(QStringLiteral("AccountsMenu"))->isEnabled());
        QVERIFY(!action("accountsDelete")->isEnabled());
    }

    void preferences_data() {
        QTest::addColumn<QVariant>("autoSave");
        QTest::addColumn<QVariant>("mode");
        QTest::addColumn<bool>("autoSaveOn");
        QTest::addColumn<int>("shownMode");
        QTest::newRow("nothing stored") << QVariant() << QVariant() << true << 3;
        QTest::newRow("auto save off") << QVariant("0") << QVariant("1") << false << 1;
        QTest::newRow("not a number") << QVariant("yes") << QVariant("2") << false << 2;
        QTest::newRow("unknown view") << QVariant("1") << QVariant("7") << true << 3;
    }
    void preferences() {
        QFETCH(QVariant, autoSave);
        QFETCH(QVariant, mode);
        QFETCH(bool, autoSaveOn);
        QFETCH(int, shownMode);
        QSettings settings(QStringLiteral("QVL_POP3"));
        if (autoSave.isValid())
            settings.setValue(QStringLiteral("Interface/AutoSave"), autoSave);
        if (mode.isValid())
            settings.setValue(QStringLiteral("Interface/LVMode"), mode);
        settings.sync();
        open();
        QCOMPARE(action("OptionsAutoSave")->isChecked(), autoSaveOn);
        QCOMPARE(int(window_->listMode()), shownMode);
        const QList<QAction*> views = window_->findChild<QMenu*>("ViewMenu")->actions();
        for (int view = 0; view < views.size(); ++view)
            QCOMPARE(views[view]->isChecked(), view == shownMode);
    }

    void windowRemembered() {
        open();
        window_->setGeometry(40, 50, 700, 480);
        auto* splitter = window_->findChild<QSplitter*>();
        splitter->setSizes({150, 550});
        const QList<int> sizes = splitter->sizes();
        console_->clickNode(QStringLiteral("C1D"));
        window_->findChild<QMenu*>("ViewMenu")->actions().value(0)->trigger();
        QVERIFY(window_->close());

        frmManagement& reopened = console_->open();
        QCOMPARE(reopened.size(), QSize(700, 480));
        QCOMPARE(reopened.findChild<QSplitter*>()->sizes(), sizes);
        QCOMPARE(reopened.listMode(), frmManagement::LargeIcons);
        QCOMPARE(console_->list()->rowCount(), 6); // the options
    }

    // What the Save button, Ctrl+S and the change watcher write, and what a failed save keeps.
    void saving_data() {
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("saved");
        QTest::newRow("auto save") << true << "smtp.example" << true;
        QTest::newRow("Ctrl+S") << false << "smtp.example" << true;
        QTest::newRow("auto save, value the file cannot hold") << true << "Snow \u2603" << false;
        QTest::newRow("Ctrl+S, value the file cannot hold") << false << "Snow \u2603" << false;
    }
    void saving() {
        QFETCH(bool, autoSave);
        QFETCH(QString, server);
        QFETCH(bool, saved);
        setAutoSave(autoSave);
        open();
        console_->document().change([&](Configuration& c) { c.Settings.SmtpServer = server; });
        if (autoSave) {
            QTest::qWait(1500);
        } else {
            QTRY_VERIFY(action("FileSave")->isEnabled());
            QCOMPARE(stored().Settings.SmtpServer, QString());
            QTest::keyClick(window_, Qt::Key_S, Qt::ControlModifier);
        }
        QCOMPARE(stored().Settings.SmtpServer, saved ? server : QString());
        // A failed save neither reloads over the changes nor forgets them.
        QCOMPARE(console_->document().configuration().Settings.SmtpServer, server);
        QCOMPARE(console_->document().isChanged(), !saved);
        QCOMPARE(action("FileSave")->isEnabled(), !saved);
    }

    // The close box, File Exit and Ctrl+Q ask the same question; Cancel and Escape keep
    // the window and the changes.
    void closing_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("pending");
        QTest::addColumn<int>("answer"); // -1: Escape
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("inFile");
        QTest::newRow("nothing pending") << "close" << false << -1 << true << "";
        QTest::newRow("save") << "close" << true << int(Button::Yes) << true << "smtp.example";
        QTest::newRow("discard") << "close" << true << int(Button::No) << true << "";
        QTest::newRow("cancel") << "close" << true << int(Button::Cancel) << false << "";
        QTest::newRow("escape") << "close" << true << -1 << false << "";
        QTest::newRow("File, Exit, save")
            << "exit" << true << int(Button::Yes) << true << "smtp.example";
        QTest::newRow("File, Exit, escape") << "exit" << true << -1 << false << "";
        QTest::newRow("Ctrl+Q, escape") << "ctrl+q" << true << -1 << false << "";
    }
    void closing() {
        QFETCH(QString, how);
        QFETCH(bool, pending);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(QString, inFile);
        setAutoSave(false);
        open();
        if (pending)
            console_->document().change(
                [](Configuration& c) { c.Settings.SmtpServer = QStringLiteral("smtp.example"); });
        if (answer < 0)
            console_->boxes.dismissNext();
        else
            console_->boxes.answerNext(Button(answer));
        if (how == u"close")
            window_->close();
        else if (how == u"exit")
            action("FileExit")->trigger();
        else
            QTest::keyClick(window_, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(console_->boxes.shown.size(), pending ? 1 : 0);
        QCOMPARE(window_->isVisible(), !closed);
        QCOMPARE(stored().Settings.SmtpServer, inFile);
        // Closing never drops the changes while the window stays.
        QCOMPARE(console_->document().configuration().Settings.SmtpServer,
                 pending ? QStringLiteral("smtp.example") : QString());
    }

    // Two consoles on one file: the second save asks, and overwrites nothing unless told to.
    void fileChangedOnDisk_data() {
        QTest::addColumn<int>("answer"); // -1: Escape
        QTest::addColumn<QString>("inFile");
        QTest::addColumn<QString>("inMemory");
        QTest::addColumn<bool>("pending");
        QTest::newRow("reload") << int(Button::Reload) << "first"
                                << "first" << false;
        QTest::newRow("overwrite") << int(Button::Overwrite) << "second"
                                   << "second" << false;
        QTest::newRow("cancel") << int(Button::Cancel) << "first"
                                << "second" << true;
        QTest::newRow("escape") << -1 << "first"
                                << "second" << true;
    }
    void fileChangedOnDisk() {
        QFETCH(int, answer);
        QFETCH(QString, inFile);
        QFETCH(QString, inMemory);
        QFETCH(bool, pending);
        console_->store({});
        ConsoleDocument first(console_->dataPath());
        ConsoleDocument second(console_->dataPath());
        QVERIFY(first.load() && second.load());
        auto setServer = [](const char* name) {
            return [name](Configuration& c) {
                c.Settings.SmtpServer = QLatin1String(name);
            };
        };
        first.change(setServer("first"));
        QCOMPARE(first.save(console_->boxes), ConsoleDocument::SaveResult::Saved);
        QVERIFY(console_->boxes.shown.isEmpty());
        second.change(setServer("second"));
        if (answer < 0)
            console_->boxes.dismissNext();
        else
            console_->boxes.answerNext(Button(answer));
        second.save(console_->boxes);
        QCOMPARE(console_->boxes.shown.size(), 1);
        QCOMPARE(stored().Settings.SmtpServer, inFile);
        QCOMPARE(second.configuration().Settings.SmtpServer, inMemory);
        QCOMPARE(second.isChanged(), pending);
    }

    void unchangedWindowFollowsTheFile() {
        open(twoAccounts());
        console_->clickNode(QStringLiteral("C1A"));
        Configuration other = twoAccounts();
        other.Accounts[2] = TestAccount(QStringLiteral("Added elsewhere"), QStringLiteral("x"));
        console_->store(other);
        QTRY_COMPARE_WITH_TIMEOUT(console_->list()->rowCount(), 3, 2500);
        QVERIFY(console_->boxes.shown.isEmpty());
    }

    // A data file that cannot be read is named and left exactly as it was.
    void unreadableFileLeftAlone_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("not a data file\n");
        QByteArray longRecord(128 * 3, '\0');
        longRecord[0] = char(200); // a record claiming more than it can hold, and no key
        QTest::newRow("record too long") << longRecord;
        QTest::newRow("cut short") << QByteArray(128 * 5 + 7, 'x');
    }
    void unreadableFileLeftAlone() {
        QFETCH(QByteArray, bytes);
        const QString path = console_->dataPath();
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const QFileDevice::Permissions mode = file.permissions();
        ConsoleDocument document(path);
        const FileMod::FileResult loaded = document.load();
        QVERIFY(!loaded);
        QVERIFY2(loaded.error.contains(path), qPrintable(loaded.error));
        QCOMPARE(fileBytes(path), bytes);
        QCOMPARE(file.permissions(), mode);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files).size(), 1);
    }

    // Escape or the close box on any question changes nothing, in memory or on disk.
    void questionsDismissed_data() {
        QTest::addColumn<QString>("question");
        QTest::newRow("internet check") << "internet";
        QTest::newRow("delete account") << "delete";
    }
    void questionsDismissed() {
        QFETCH(QString, question);
        setAutoSave(false);
        open(twoAccounts());
        const QByteArray before = fileBytes(console_->dataPath());
        const Configuration inMemory = console_->document().configuration();
        console_->boxes.dismissNext();
        if (question == u"internet") {
            console_->clickNode(QStringLiteral("C1D"));
            console_->doubleClickRow(3);
        } else {
            selectAccount(Sales);
            QTest::keyClick(list(), Qt::Key_Delete);
        }
        QCOMPARE(console_->boxes.shown.size(), 1);
        QCOMPARE(console_->document().configuration(), inMemory);
        QVERIFY(!console_->document().isChanged());
        QTest::qWait(1200); // a change watcher tick
        QCOMPARE(fileBytes(console_->dataPath()), before);
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
        console_->clickNode(QStringLiteral("C1D"));
        console_->boxes.answerNext(Button(answer));
        console_->doubleClickRow(3);
        QCOMPARE(console_->boxes.shown.size(), 1);
        QCOMPARE(int(console_->boxes.shown[0].defaultButton), defaultButton);
        QCOMPARE(console_->document().configuration().Settings.NoInternetCheck, after);
        QVERIFY(console_->document().isChanged());
    }

    // Keys on an account row of the list.
    void accountKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<QStringList>("left");
        const QStringList both = {Sales, "Support"};
        QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << 0 << true << both;
        QTest::newRow("Alt+Enter")
            << int(Qt::Key_Return) << int(Qt::AltModifier) << 0 << true << both;
        QTest::newRow("Delete, Yes")
            << int(Qt::Key_Delete) << 0 << int(Button::Yes) << false << QStringList{"Support"};
        QTest::newRow("Delete, No") << int(Qt::Key_Delete) << 0 << int(Button::No) << false << both;
    }
    void accountKeys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, answer);
        QFETCH(bool, dialog);
        QFETCH(QStringList, left);
        open(twoAccounts());
        selectAccount(Sales);
        console_->boxes.answerNext(Button(answer));
        QTest::keyClick(list(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QWidget* properties = ConsoleWindow::dialog(QStringLiteral("MailboxPropFrm"));
        QCOMPARE(properties != nullptr, dialog);
        if (properties) {
            QCOMPARE(properties->findChild<QLineEdit*>("AccountInfoTxt0")->text(), Sales);
            properties->close();
        } else {
            QCOMPARE(console_->boxes.shown.value(0).text,
                     QStringLiteral("Delete account 'Sales'?"));
        }
        QCOMPARE(shownNames(), left);
    }

    // Within a menu bar, a menu or a dialog no two items share an access key.
    void accessKeysUnique() {
        open();
        QList<QList<QString>> groups;
        QList<QString> bar;
        for (QAction* menu : window_->menuBar()->actions()) {
            bar.append(menu->text());
            QList<QString> items;
            for (QAction* item : menu->menu()->actions())
                items.append(item->text());
            groups.append(items);
        }
        groups.append(bar);
        console_->clickNode(QStringLiteral("C1A"));
        action("accountsAdd")->trigger();
        QWidget* dialog = ConsoleWindow::dialog(QStringLiteral("MailboxPropFrm"));
        QVERIFY(dialog);
        QList<QString> texts;
        for (const QLabel* label : dialog->findChildren<QLabel*>())
            texts.append(label->text());
        for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
            texts.append(button->text());
        groups.append(texts);
        for (const QList<QString>& group : groups) {
            QSet<QChar> seen;
            for (const QString& text : group) {
                const QChar key = accessKey(text);
                QVERIFY2(key.isNull() || !seen.contains(key), qPrintable(text));
                seen.insert(key);
            }
        }
    }

    void servicePanel_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("state");
        QTest::newRow("not installed") << "" << 0 << 0;
        QTest::newRow("other letter case") << "pop3_qvl" << 4 << 0;
        QTest::newRow("stopped") << "Pop3_QVL" << 1 << 1;
        QTest::newRow("paused") << "Pop3_QVL" << 7 << 2;
    }
    void servicePanel() {
        QFETCH(QString, name);
        QFETCH(int, status);
        QFETCH(int, state);
        open();
        if (!name.isEmpty())
            console_->services.setService(name, status);
        QTRY_COMPARE_WITH_TIMEOUT(window_->serviceState(), state, 4500);
    }
};

QTEST_MAIN(TestFrmManagement)
#include "tst_frmmanagement.moc"
