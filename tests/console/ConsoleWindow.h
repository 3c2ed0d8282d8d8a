#pragma once

// A main window over a fresh data file and a stand-in systemctl, with the clicks the
// console tests drive it with.

#include "AnsweringMessageBoxes.h"
#include "ConsoleDocument.h"
#include "FakeSystemctl.h"
#include "FileMod.h"
#include "ServiceDirectory.h"
#include "frmManagement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

class ConsoleWindow {
public:
    ConsoleWindow() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        dataPath_ = FileMod::DataFilePath(dir_.path());
    }

    // Writes `config` to the data file and shows the window on it, active.
    frmManagement& open(const Configuration& config = {}, bool autoSave = true) {
        QSettings(QStringLiteral("QVL_POP3")).setValue("Interface/AutoSave", autoSave ? "1" : "0");
        store(config);
        document_ = std::make_unique<ConsoleDocument>(dataPath_);
        if (!document_->load())
            qFatal("the data file cannot be read");
        window_ = std::make_unique<frmManagement>(*document_, services_, boxes);
        window_->show();
        window_->activateWindow();
        if (!QTest::qWaitForWindowActive(window_.get()))
            qFatal("the window does not come to the front");
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

    [[nodiscard]] Configuration stored() const {
        Configuration config; // empty if it cannot be read back
        (void)FileMod::LoadData(config, dataPath_, FileMod::KeyPolicy::MakeNewKey);
        return config;
    }

    void clickNode(const QString& key) {
        auto* tree = window_->findChild<QTreeWidget*>(QStringLiteral("localTreeView"));
        for (QTreeWidgetItem* node :
             tree->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive))
            if (node->data(0, frmManagement::KeyRole).toString() == key)
                return QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                         tree->visualItemRect(node).center());
        QFAIL("no such node");
    }

    // Clicks the row of the list whose key (or, for accounts, name) is `name`; twice: double.
    void clickRow(const QString& name, bool twice = false) {
        auto* list = window_->findChild<QTreeView*>(QStringLiteral("detailView"));
        for (int role : {int(frmManagement::KeyRole), int(Qt::DisplayRole)})
            for (const QModelIndex& row : list->model()->match(list->model()->index(0, 0), role,
                                                               name, 1, Qt::MatchExactly)) {
                const QPoint centre = list->visualRect(row).center();
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
                if (twice)
                    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
                return;
            }
        QFAIL("no such row");
    }

    // Double-clicks the item `key` (as "D1") of its node.
    void openItem(const QString& key) {
        clickNode(QStringLiteral("C1") + key.front());
        clickRow(key, true);
    }

    // The dialog named `name` that is showing (any dialog, unnamed), or null.
    [[nodiscard]] static QWidget* dialog(const QString& name = {}) {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() &&
                (name.isEmpty() ? widget->inherits("QDialog") : widget->objectName() == name))
                return widget;
        return nullptr;
    }

    // Near the left edge, where a check box has its tick.
    static void click(QWidget* dialog, const QString& name) {
        auto* button = dialog->findChild<QAbstractButton*>(name);
        QTest::mouseClick(button, Qt::LeftButton, {},
                          QPoint(button->height() / 2, button->height() / 2));
    }

    // Replaces the text of the box `name`: typed, or pasted where it cannot be typed.
    static void type(QWidget* dialog, const QString& name, const QString& text) {
        auto* box = dialog->findChild<QLineEdit*>(name);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 32; }))
            box->insert(text);
        else
            QTest::keyClicks(box, text);
    }

    AnsweringMessageBoxes boxes;
    FakeSystemctl systemctl;

private:
    QTemporaryDir dir_;
    QString dataPath_;
    SystemdServiceDirectory services_;
    std::unique_ptr<ConsoleDocument> document_;
    std::unique_ptr<frmManagement> window_;
};
