#pragma once

// A main window over a fresh data file, with the clicks the console tests drive it with.

#include "AnsweringMessageBoxes.h"
#include "ConsoleDocument.h"
#include "FakeServiceDirectory.h"
#include "FileMod.h"
#include "ShellOpen.h"
#include "frmManagement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>

// An account the list shows, with `exchangeUser` as its comment (or, empty, as global).
inline AccountRecord TestAccount(const QString& name, const QString& exchangeUser) {
    AccountRecord record;
    record.AccountName = name;
    record.MailServer = QStringLiteral("pop.isp.example");
    record.UserName = QStringLiteral("user");
    record.Password = QStringLiteral("secret");
    record.ExchangeUser = exchangeUser;
    return record;
}

// Keeps the targets instead of starting a program for them.
class RecordingShell : public Shell {
public:
    void ShellOpen(const QString& target) override { opened.append(target); }
    QStringList opened;
};

class ConsoleWindow {
public:
    ConsoleWindow() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        QSettings(QStringLiteral("QVL_POP3")).clear();
        dataPath_ = FileMod::DataFilePath(dir_.path());
    }

    // Writes `config` to the data file and shows the window on it.
    frmManagement& open(const Configuration& config = {}) {
        store(config);
        document_ = std::make_unique<ConsoleDocument>(dataPath_);
        if (!document_->load())
            qFatal("the data file cannot be read");
        window_ = std::make_unique<frmManagement>(*document_, services, boxes);
        window_->setShell(shell);
        window_->show();
        if (!QTest::qWaitForWindowExposed(window_.get()))
            qFatal("the window does not show");
        return *window_;
    }

    frmManagement& window() { return *window_; }
    ConsoleDocument& document() { return *document_; }
    [[nodiscard]] const QString& dataPath() const { return dataPath_; }

    // Writes `config` to the data file, as another console would.
    void store(Configuration config) const {
        Configuration keyed; // the first load makes the file and its key
        if (!FileMod::LoadData(keyed, dataPath_, FileMod::KeyPolicy::MakeNewKey))
            qFatal("no data file");
        config.Settings.FileKey = keyed.Settings.FileKey;
        if (!FileMod::SaveData(config, dataPath_))
            qFatal("the data file cannot be written");
    }

    // The item `caption` of the Help menu.
    void chooseHelp(const QString& caption) {
        for (QAction* item : window_->findChild<QMenu*>(QStringLiteral("HelpMenu"))->actions())
            if (item->text() == caption) {
                item->trigger();
                return;
            }
        QFAIL("no such menu item");
    }

    [[nodiscard]] Configuration stored() const {
        Configuration config;
        if (!FileMod::LoadData(config, dataPath_, FileMod::KeyPolicy::MakeNewKey))
            qFatal("the data file cannot be read back");
        return config;
    }

    [[nodiscard]] QString filePanel() const {
        return window_->findChild<QLabel*>(QStringLiteral("filePanel"))->text();
    }

    void clickNode(const QString& key) {
        auto* tree = window_->findChild<QTreeWidget*>(QStringLiteral("localTreeView"));
        for (QTreeWidgetItem* node :
             tree->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive))
            if (node->data(0, frmManagement::KeyRole).toString() == key) {
                QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                  tree->visualItemRect(node).center());
                return;
            }
        QFAIL("no such node");
    }

    // Toolbar buttons count from 1, separators left out.
    void pressTool(int position) {
        QList<QAction*> buttons;
        for (QAction* action : window_->findChild<QToolBar*>()->actions())
            if (!action->isSeparator())
                buttons.append(action);
        buttons.value(position - 1)->trigger();
    }

    [[nodiscard]] QAbstractItemModel* list() const { return detailView()->model(); }

    void clickRow(int row) {
        QTest::mouseClick(detailView()->viewport(), Qt::LeftButton, {}, rowCentre(row));
    }

    void doubleClickRow(int row) {
        clickRow(row);
        QTest::mouseDClick(detailView()->viewport(), Qt::LeftButton, {}, rowCentre(row));
    }

    // The dialog named `name` that is showing, or null.
    [[nodiscard]] static QWidget* dialog(const QString& name) {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == name && widget->isVisible())
                return widget;
        return nullptr;
    }

    // Near the left edge, where a check box has its tick.
    static void click(QWidget* dialog, const QString& name) {
        auto* button = dialog->findChild<QAbstractButton*>(name);
        QTest::mouseClick(button, Qt::LeftButton, {},
                          QPoint(button->height() / 2, button->height() / 2));
    }

    // Replaces the text of the box `name` as a user would by typing.
    static void type(QWidget* dialog, const QString& name, const QString& text) {
        auto* box = dialog->findChild<QLineEdit*>(name);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }

    // Replaces it as pasting would: also what cannot be typed.
    static void paste(QWidget* dialog, const QString& name, const QString& text) {
        auto* box = dialog->findChild<QLineEdit*>(name);
        box->selectAll();
        box->insert(text);
    }

    AnsweringMessageBoxes boxes;
    FakeServiceDirectory services;
    RecordingShell shell;

private:
    [[nodiscard]] QTreeView* detailView() const {
        return window_->findChild<QTreeView*>(QStringLiteral("detailView"));
    }

    [[nodiscard]] QPoint rowCentre(int row) const {
        return detailView()->visualRect(list()->index(row, 0)).center();
    }

    QTemporaryDir dir_;
    QString dataPath_;
    std::unique_ptr<ConsoleDocument> document_;
    std::unique_ptr<frmManagement> window_;
};
