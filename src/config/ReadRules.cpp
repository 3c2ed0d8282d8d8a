#include "ReadRules.h"

#include <QRegularExpression>

namespace ReadRules {

namespace {

// Sign, digits, optional decimal part; at least one digit.
const QRegularExpression& numberPattern() {
    static const QRegularExpression re(QStringLiteral(R"(^[+-]?(\d+(\.\d*)?|\.\d+))"));
    return re;
}

} // namespace

QString TrimSpaces(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

double LeadingNumber(const QString& text) {
    qsizetype start = 0;
    while (start < text.size() && (text.at(start) == u' ' || text.at(start) == u'\t'))
        ++start;
    const auto match = numberPattern().match(text.mid(start));
    if (!match.hasMatch())
        return 0.0;
    QString number = match.captured(0);
    if (number.endsWith(u'.'))
        number.chop(1);
    return number.toDouble();
}

std::optional<bool> BooleanText(const QString& text) {
    const QString t = TrimSpaces(text);
    if (t.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    const auto match = numberPattern().match(t);
    if (!match.hasMatch() || match.capturedLength(0) != t.size())
        return std::nullopt;
    return LeadingNumber(t) != 0.0;
}

bool FlagText(const QString& text) {
    const QString t = TrimSpaces(text);
    return !t.isEmpty() && t != u"0";
}

std::optional<quint16> PortNumber(const QString& text) {
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

} // namespace ReadRules
