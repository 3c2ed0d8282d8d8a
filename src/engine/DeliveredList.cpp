#include "DeliveredList.h"

#include "AtomicFile.h"
#include "EventLog.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>

namespace {

constexpr qsizetype MaxIDLength = 70;

void ReportFileError(const QString& what) {
    LogEvent(EventLog::Error, 8031,
             QStringLiteral("List of delivered messages not usable: ") + what +
                 QStringLiteral(". Messages may be delivered again until it is."));
}

QByteArray HeaderFor(const AccountRecord& account) {
    return "# Hollimere: messages delivered from " + account.MailServer.toUtf8() + " for " +
           account.UserName.toUtf8();
}

// The IDs of a file's text below its header; nullopt when the text is not a whole list.
std::optional<QList<QByteArray>> ParsedIDs(const QByteArray& text, const QByteArray& header) {
    if (!text.startsWith(header + '\n') || !text.endsWith('\n'))
        return std::nullopt;
    QList<QByteArray> ids = text.mid(header.size() + 1).split('\n');
    ids.removeLast(); // behind the final line end
    for (const QByteArray& id : ids) {
        if (!DeliveredList::ValidID(id))
            return std::nullopt;
    }
    return ids;
}

} // namespace

bool DeliveredList::ValidID(QByteArrayView text) {
    if (text.isEmpty() || text.size() > MaxIDLength)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

QString DeliveredList::PathFor(const QString& folder, const AccountRecord& account) {
    const QByteArray key = (account.MailServer + QLatin1Char('\n') + account.UserName).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
    return QDir(folder).filePath(QStringLiteral("delivered-") + QString::fromLatin1(hash.left(32)) +
                                 QStringLiteral(".ids"));
}

std::optional<DeliveredList> DeliveredList::Load(const QString& folder,
                                                 const AccountRecord& account) {
    DeliveredList list(PathFor(folder, account), HeaderFor(account));
    QFile file(list.path_);
    if (!file.exists())
        return list;
    if (!file.open(QIODevice::ReadOnly)) {
        ReportFileError(QStringLiteral("cannot read %1: %2").arg(list.path_, file.errorString()));
        return std::nullopt;
    }
    const QByteArray text = file.readAll();
    file.close();
    if (std::optional<QList<QByteArray>> ids = ParsedIDs(text, list.header_)) {
        list.ids_ = std::move(*ids);
        list.known_ = QSet<QByteArray>(list.ids_.cbegin(), list.ids_.cend());
        return list;
    }
    const QString aside =
        list.path_ + QStringLiteral(".damaged-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddThhmmsszzz"));
    if (!QFile::rename(list.path_, aside)) {
        ReportFileError(QStringLiteral("%1 is damaged and cannot be set aside").arg(list.path_));
        return std::nullopt;
    }
    LogEvent(EventLog::Error, 8030,
             QStringLiteral("List of delivered messages damaged: ") + list.path_ +
                 QStringLiteral(" was set aside as ") + aside +
                 QStringLiteral(" and a new list begun; messages kept on ") + account.MailServer +
                 QStringLiteral(" for ") + account.UserName +
                 QStringLiteral(" are delivered once more."));
    return list;
}

void DeliveredList::keepOnly(const QSet<QByteArray>& present) {
    const qsizetype removed =
        ids_.removeIf([&present](const QByteArray& id) { return !present.contains(id); });
    if (removed == 0)
        return;
    known_ = QSet<QByteArray>(ids_.cbegin(), ids_.cend());
    save();
}

void DeliveredList::add(const QByteArray& id) {
    if (known_.contains(id))
        return;
    ids_.append(id);
    known_.insert(id);
    save();
}

void DeliveredList::save() {
    QByteArray text = header_ + '\n';
    for (const QByteArray& id : ids_)
        text += id + '\n';
    const QString error = WriteAtomically(path_, text);
    if (!error.isEmpty() && !std::exchange(saveFailed_, true))
        ReportFileError(error);
}
