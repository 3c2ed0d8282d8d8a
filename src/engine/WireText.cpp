#include "WireText.h"

#include "Ansi.h"

std::optional<QByteArray> WireText(const QString& text) {
    std::optional<QByteArray> bytes = Ansi::ToAnsi(text);
    if (bytes && (bytes->contains('\r') || bytes->contains('\n') || bytes->contains('\0')))
        return std::nullopt;
    return bytes;
}

QString VisibleText(QString text) {
    return text.replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QChar(0), QLatin1String("\\0"));
}

std::optional<quint16> PortNumber(const QString& text) {
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}
