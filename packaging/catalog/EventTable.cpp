#include "EventTable.h"

#include <QRegularExpression>

namespace EventTable {

QList<qint32> Ids(const QString& html) {
    static const QRegularExpression anchor(QStringLiteral("<a name=\"e(\\d+)\">"));
    QList<qint32> ids;
    auto it = anchor.globalMatch(html);
    while (it.hasNext())
        ids.append(it.next().captured(1).toInt());
    return ids;
}

QStringList Row(const QString& html, qint32 id) {
    const qsizetype anchor = html.indexOf(QStringLiteral("<a name=\"e%1\">").arg(id));
    if (anchor < 0)
        return {};
    const qsizetype start = html.lastIndexOf(QStringLiteral("<tr"), anchor);
    const qsizetype end = html.indexOf(QStringLiteral("</tr>"), anchor);
    static const QRegularExpression cell(QStringLiteral("<td[^>]*>(.*?)</td>"),
                                         QRegularExpression::DotMatchesEverythingOption);
    QStringList cells;
    auto it = cell.globalMatch(html.mid(start, end - start));
    while (it.hasNext())
        cells.append(PlainText(it.next().captured(1)));
    return cells;
}

QString PlainText(const QString& html) {
    QString text = html;
    // A line break inside a cell separates words.
    text.replace(
        QRegularExpression(QStringLiteral("<br\\s*/?>"), QRegularExpression::CaseInsensitiveOption),
        QStringLiteral(" "));
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    static const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"},  {"&gt;", ">"},   {"&quot;", "\""},
        {"&#39;", "'"}, {"&nbsp;", " "}, {"&amp;", "&"}};
    for (const auto& [entity, character] : entities)
        text.replace(QLatin1String(entity), QLatin1String(character));
    return text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" ")).trimmed();
}

} // namespace EventTable
