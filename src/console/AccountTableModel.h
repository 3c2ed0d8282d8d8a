#pragma once

// The accounts of the document as the main window's list shows them, one row for every
// account record that has a name.

#include <QAbstractTableModel>
#include <QList>

class ConsoleDocument;
struct AccountRecord;

class AccountTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Name, Server, User, DeliversTo, KeepOnHost, ColumnCount };
    // The account table index of a row.
    static constexpr int IndexRole = Qt::UserRole + 10;

    explicit AccountTableModel(ConsoleDocument& document, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    // "Global ISP Mail Host" for an account that delivers to a whole domain.
    [[nodiscard]] static bool DeliversToDomain(const AccountRecord& record);

private:
    void rebuild();

    ConsoleDocument& document_;
    QList<int> indices_;
};
