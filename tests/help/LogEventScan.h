#pragma once

// Finds the event-log calls in source text, so that the help can be checked against
// every event the programs can write.

#include <QList>
#include <QString>
#include <QStringList>

namespace LogEventScan {

struct Call {
    QString where; // file:line
    QString type;  // "success", "error", "warning" or "information"
    QList<qint32> ids;
    QString textStart; // the first fixed words of the text, placeholders cut off
};

struct Result {
    QList<Call> calls;
    QStringList unreadable; // calls whose type, ID or text cannot be told from the source
};

// One source file's text; `file` only names the places found.
void ScanText(const QString& text, const QString& file, Result& out);

// Every *.cpp and *.h below `folder`.
[[nodiscard]] Result ScanFolder(const QString& folder);

} // namespace LogEventScan
