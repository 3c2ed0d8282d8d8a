// The main window's account rows and the Add, Delete and Properties operations.

#include "ConfigModel.h"
#include "MailboxPropFrm.h"
#include "MessageBoxes.h"
#include "ReadRules.h"
#include "frmManagement.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QPalette>
#include <QRandomGenerator>
#include <QStandardItemModel>

namespace {

constexpr int LastListedAccount = 100;

const QString DeletedText = QStringLiteral("**DELETED**");

struct AccountView {
    QString comment;
    int icon;
};

AccountView viewOf(const AccountRecord& record) {
    if (ReadRules::TrimSpaces(record.ExchangeUser).isEmpty())
        return {QStringLiteral("Global ISP Mail Host/Automatic"), 1};
    return {record.ExchangeUser, 2};
}

} // namespace

void frmManagement::addAccountRows() {
    for (int index = 0; index <= LastListedAccount; ++index) {
        const AccountRecord& record = config_.Accounts[static_cast<size_t>(index)];
        if (record.AccountName.isEmpty())
            continue;
        const AccountView view = viewOf(record);
        addListItem(QStringLiteral("X%1").arg(index), record.AccountName, view.comment, view.icon,
                    true);
    }
}

void frmManagement::showAccount(int index, bool adding) {
    const AccountRecord& record = config_.Accounts[static_cast<size_t>(index)];
    const AccountView view = viewOf(record);
    if (adding) {
        addListItem(newAccountKey(), record.AccountName, view.comment, view.icon, true);
        return;
    }
    QStandardItem* name = items_->item(index, 0);
    QStandardItem* comment = items_->item(index, 1);
    if (!name)
        return;
    name->setText(record.AccountName);
    name->setIcon(ConsoleIcon("list", view.icon));
    name->setData(view.icon, IconNumberRole);
    comment->setText(view.comment);
    name->setToolTip(view.comment);
    comment->setToolTip(view.comment);
}

// Only unique among the rows; the next reload numbers the rows by record.
QString frmManagement::newAccountKey() const {
    for (;;) {
        const double number = QRandomGenerator::global()->generateDouble() * 99999999 + 1;
        const QString key = QStringLiteral("X%1A").arg(QString::number(number, 'g', 12));
        if (items_->match(items_->index(0, 0), KeyRole, key, 1, Qt::MatchExactly).isEmpty())
            return key;
    }
}

bool frmManagement::arrayRefuses() {
    const ConfigSettings& s = config_.Settings;
    if (!s.ArrayMember || s.ArrayPrimary)
        return false;
    boxes_.show({tr("Only the primary machine in the array can manipulate POP accounts"),
                 tr("Array"), MsgBox::Icon::Information});
    return true;
}

int frmManagement::firstSelectedRow() const {
    int first = -1;
    for (const QModelIndex& selected : iconView_->selectionModel()->selectedRows())
        if (first < 0 || selected.row() < first)
            first = selected.row();
    return first;
}

void frmManagement::AccountAdd() {
    if (arrayRefuses())
        return;
    // The data file keeps only this many: one more would vanish at the next save.
    if (items_->rowCount() >= StoredAccounts) {
        boxes_.show({tr("No more than %1 POP accounts can be set up.  Deleted accounts make "
                        "room once the changes are saved.")
                         .arg(StoredAccounts),
                     tr("Account"), MsgBox::Icon::Exclamation});
        return;
    }
    const int index = items_->rowCount();
    openDialog(QStringLiteral("MailboxPropFrm"),
               [this, index] { return new MailboxPropFrm(*this, index, false); });
}

void frmManagement::AccountDelete() {
    if (strItemClicked_.isEmpty()) {
        boxes_.show(
            {tr("Please select an account first"), tr("Account"), MsgBox::Icon::Information});
        return;
    }
    if (arrayRefuses())
        return;
    if (const int row = firstSelectedRow(); row >= 0) {
        AccountRecord& record = config_.Accounts[static_cast<size_t>(row)];
        for (QString* field : {&record.AccountName, &record.MailServer, &record.UserName,
                               &record.Password, &record.ExchangeUser, &record.RemoteDomain})
            field->clear();
        const QBrush ghosted = palette().brush(QPalette::Disabled, QPalette::Text);
        for (int column = 0; column < 2; ++column) {
            QStandardItem* item = items_->item(row, column);
            item->setText(DeletedText);
            item->setForeground(ghosted);
            item->setData(true, DeletedRole);
        }
    }
    setDataChanged();
}

void frmManagement::AccountProperties() {
    const int row = firstSelectedRow();
    if (row >= 0 && items_->item(row, 0)->data(DeletedRole).toBool()) {
        boxes_.show(
            {tr("This Account has been deleted"), tr("Account"), MsgBox::Icon::Exclamation});
        return;
    }
    // A rebuilt list has no selection left to act on.
    if (strItemClicked_.isEmpty() || row < 0) {
        boxes_.show(
            {tr("Please select an account first"), tr("Account"), MsgBox::Icon::Information});
        return;
    }
    if (arrayRefuses())
        return;
    openDialog(QStringLiteral("MailboxPropFrm"),
               [this, row] { return new MailboxPropFrm(*this, row, true); });
}
