#pragma once

// The event list of the help (errors.htp): one table row per event ID, with its type,
// its text and what it means. The help check and the journal catalogue both read it.

#include <QList>
#include <QString>
#include <QStringList>

namespace EventTable {

// Every event ID with a row, in the order of the page.
[[nodiscard]] QList<qint32> Ids(const QString& html);

// The cells of the row that explains `id` as plain text: ID, type, text, meaning. Empty
// when the page has no such row.
[[nodiscard]] QStringList Row(const QString& html, qint32 id);

// Markup removed, entities decoded and white space collapsed, as a reader sees it.
[[nodiscard]] QString PlainText(const QString& html);

} // namespace EventTable
