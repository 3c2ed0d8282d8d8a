#include "ReadRules.h"

#include <QRegularExpression>

namespace ReadRules {

namespace {

// Sign, digits, optional decimal part; at least one digit.
constexpr char Number[] = R"([+-]?(\d+(\.\d*)?|\.\d+))";

} // namespace

QString TrimSpaces(const QString& text) {
    static const QRegularExpression ends(QStringLiteral(R"(^ +| +\z)"));
    return QString(text).remove(ends);
}

double LeadingNumber(const QString& text) {
    static const QRegularExpression leading(QStringLiteral("^[ \t]*(") + QLatin1String(Number) +
                                            u')');
    const auto match = leading.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}

std::optional<bool> BooleanText(const QString& text) {
    static const QRegularExpression whole(
        QRegularExpression::anchoredPattern(QLatin1String(Number)));
    const QString t = TrimSpaces(text);
    if (t.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    if (!whole.match(t).hasMatch())
        return std::nullopt;
    return t.toDouble() != 0.0;
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
