// The main window's Add, Delete and Properties operations on accounts.

#include "AccountTableModel.h"
#include "ConsoleDocument.h"
#include "MailboxPropFrm.h"
#include "MessageBoxes.h"
#include "frmManagement.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QSortFilterProxyModel>

bool frmManagement::arrayRefuses() {
    const ConfigSettings& s = document_.configuration().Settings;
    if (!s.ArrayMember || s.ArrayPrimary)
        return false;
    boxes_.show({tr("Only the primary machine in the array can manipulate POP accounts"),
                 tr("Array"), MsgBox::Icon::Information});
    return true;
}

int frmManagement::selectedAccount() const {
    if (!accountsShown())
        return -1;
    const QModelIndexList rows = iconView_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().data(AccountTableModel::IndexRole).toInt();
}

void frmManagement::AccountAdd() {
    if (arrayRefuses())
        return;
    // The data file keeps only the first StoredAccounts records.
    int free = 0;
    const auto& accounts = document_.configuration().Accounts;
    while (free < StoredAccounts && !accounts[static_cast<size_t>(free)].AccountName.isEmpty())
        ++free;
    if (free == StoredAccounts) {
        boxes_.show({tr("No more than %1 POP accounts can be set up.").arg(StoredAccounts),
                     tr("Account"), MsgBox::Icon::Exclamation});
        return;
    }
    openDialog(QStringLiteral("MailboxPropFrm"),
               [this, free] { return new MailboxPropFrm(*this, free, false); });
}

void frmManagement::AccountDelete() {
    const int index = selectedAccount();
    if (index < 0) {
        boxes_.show(
            {tr("Please select an account first"), tr("Account"), MsgBox::Icon::Information});
        return;
    }
    if (arrayRefuses())
        return;
    const QString name = document_.configuration().Accounts[static_cast<size_t>(index)].AccountName;
    if (boxes_.show({tr("Delete account '%1'?").arg(name),
                     tr("Account"),
                     MsgBox::Icon::Question,
                     {MsgBox::Button::Yes, MsgBox::Button::No},
                     MsgBox::Button::No}) != MsgBox::Button::Yes)
        return;
    document_.change([index](Configuration& config) {
        config.Accounts[static_cast<size_t>(index)] = AccountRecord{};
    });
}

void frmManagement::AccountProperties() {
    const int index = selectedAccount();
    if (index < 0) {
        boxes_.show(
            {tr("Please select an account first"), tr("Account"), MsgBox::Icon::Information});
        return;
    }
    if (arrayRefuses())
        return;
    openDialog(QStringLiteral("MailboxPropFrm"),
               [this, index] { return new MailboxPropFrm(*this, index, true); });
}
