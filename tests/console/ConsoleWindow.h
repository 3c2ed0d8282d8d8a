#pragma once

// A main window over a fresh data file and a stand-in systemctl, with the clicks the
// console tests drive it with.

#include "AnsweringMessageBoxes.h"
#include "ConsoleDocument.h"
#include "FakeSystemctl.h"
#include "FileMod.h"
#include "ServiceDirectory.h"
#include "TableRow.h"
#include "frmManagement.h"

#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

struct ConsoleWindow {
    ConsoleWindow() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }

    // Writes `config` to the data file and shows the window on it, active.
    frmManagement& open(const Configuration& config = {}, bool autoSave = true) {
        QSettings(QStringLiteral("QVL_POP3")).setValue("Interface/AutoSave", autoSave ? "1" : "0");
        store(config);
        document = std::make_unique<ConsoleDocument>(path);
        if (!document->load())
            qFatal("the data file cannot be read");
        window = std::make_unique<frmManagement>(*document, services, boxes);
        window->show();
        if (!QTest::qWaitForWindowActive(window.get()))
            qFatal("the window does not come to the front");
        return *window;
    }

    // Writes `config` to the data file, as another console would.
    void store(Configuration config) const {
        config.Settings.FileKey = stored().Settings.FileKey; // made by the first load
        if (!FileMod::SaveData(config, path))
            qFatal("the data file cannot be written");
    }

    [[nodiscard]] Configuration stored() const {
        Configuration config; // empty if it cannot be read back
        (void)FileMod::LoadData(config, path, FileMod::KeyPolicy::MakeNewKey);
        return config;
    }

    // Clicks the row of the tree or the list whose key (or, for accounts, name) is `key`;
    // twice: a double click.
    void pick(const char* view, const QString& key, bool twice = false) {
        auto* tree = window->findChild<QTreeView*>(view);
        QAbstractItemModel* model = tree->model();
        for (int role : {int(frmManagement::KeyRole), int(Qt::DisplayRole)})
            for (const QModelIndex& row : model->match(model->index(0, 0), role, key, 1,
                                                       Qt::MatchExactly | Qt::MatchRecursive)) {
                const QPoint centre = tree->visualRect(row).center();
                QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centre);
                if (twice)
                    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, centre);
                return;
            }
        QFAIL("no such row");
    }

    // Double-clicks the item `key` (as "D1") of its node; returns the dialog it opens, if any.
    QWidget* openItem(const QString& key) {
        pick("localTreeView", QStringLiteral("C1") + key.front());
        pick("detailView", key, true);
        return dialog();
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
        auto* button = dialog->findChild<QWidget*>(name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(1, 1) * (button->height() / 2));
    }

    // Replaces the text of the box `name`, as pasted.
    static void type(QWidget* dialog, const QString& name, const QString& text) {
        auto* box = dialog->findChild<QLineEdit*>(name);
        box->selectAll();
        box->insert(text);
    }

    QTemporaryDir dir;
    const QString path = FileMod::DataFilePath(dir.path());
    AnsweringMessageBoxes boxes;
    FakeSystemctl systemctl;
    SystemdServiceDirectory services;
    std::unique_ptr<ConsoleDocument> document;
    std::unique_ptr<frmManagement> window;
};
