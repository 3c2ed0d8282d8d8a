#pragma once

// The unique IDs (the POP3 server's UIDL) of the messages delivered from one account, so
// that no later session relays them again. One file per account (server and user name)
// in the state folder, so that sessions side by side never share one; it is replaced
// whole on every change and written to disk before the change counts.

#include "ConfigModel.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

class DeliveredList {
public:
    // The account's list in folder, empty when there is none yet. A damaged file is set
    // aside with error 8030 and the list starts empty; nullopt, with error 8031, when the
    // file is there but cannot be read.
    [[nodiscard]] static std::optional<DeliveredList> Load(const QString& folder,
                                                           const AccountRecord& account);
    // The file that holds the account's list in folder.
    [[nodiscard]] static QString PathFor(const QString& folder, const AccountRecord& account);

    // Whether text is an ID a POP3 server may give: 1 to 70 printable ASCII characters.
    [[nodiscard]] static bool ValidID(QByteArrayView text);

    [[nodiscard]] bool contains(const QByteArray& id) const { return known_.contains(id); }
    // Drops every ID that is not in present (the messages still on the server); the file
    // is rewritten when that dropped any.
    void keepOnly(const QSet<QByteArray>& present);
    // Adds id and writes the file before it returns. A write that fails is reported
    // (error 8031) the first time only.
    void add(const QByteArray& id);

private:
    DeliveredList(QString path, QByteArray header)
        : path_(std::move(path)), header_(std::move(header)) {}
    void save();

    QString path_;
    QByteArray header_;     // the first line: which account the list belongs to
    QList<QByteArray> ids_; // in the order delivered
    QSet<QByteArray> known_;
    bool saveFailed_ = false;
};
