#include "AccountTableModel.h"

#include "ConsoleDocument.h"
#include "ReadRules.h"
#include "frmManagement.h"

AccountTableModel::AccountTableModel(ConsoleDocument& document, QObject* parent)
    : QAbstractTableModel(parent), document_(document) {
    connect(&document, &ConsoleDocument::reloaded, this, &AccountTableModel::rebuild);
    connect(&document, &ConsoleDocument::edited, this, &AccountTableModel::rebuild);
    rebuild();
}

void AccountTableModel::rebuild() {
    beginResetModel();
    indices_.clear();
    // The data file holds the first StoredAccounts records.
    for (int index = 0; index < StoredAccounts; ++index)
        if (!document_.configuration().Accounts[static_cast<size_t>(index)].AccountName.isEmpty())
            indices_.append(index);
    endResetModel();
}

int AccountTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(indices_.size());
}

int AccountTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

bool AccountTableModel::DeliversToDomain(const AccountRecord& record) {
    return record.GlobalMailHost || ReadRules::TrimSpaces(record.ExchangeUser).isEmpty();
}

QVariant AccountTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= indices_.size())
        return {};
    const int accountIndex = indices_.at(index.row());
    const AccountRecord& record =
        document_.configuration().Accounts[static_cast<size_t>(accountIndex)];
    const bool domain = DeliversToDomain(record);
    if (role == IndexRole)
        return accountIndex;
    if (role == Qt::DecorationRole && index.column() == Name)
        return ConsoleIcon("list", domain ? 1 : 2);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case Name:
        return record.AccountName;
    case Server:
        return record.MailServer;
    case User:
        return record.UserName;
    case DeliversTo:
        if (!domain)
            return record.ExchangeUser;
        return record.RemoteDomain.isEmpty()
                   ? tr("Global ISP Mail Host")
                   : tr("Global ISP Mail Host (%1)").arg(record.RemoteDomain);
    case KeepOnHost:
        return record.KeepMailOnHost ? tr("Yes") : tr("No");
    default:
        return {};
    }
}

QVariant AccountTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[ColumnCount] = {"Name", "Server", "User",
                                                    "Local mailbox or domain", "Keep on host"};
    return section >= 0 && section < ColumnCount ? tr(titles[section]) : QVariant();
}
