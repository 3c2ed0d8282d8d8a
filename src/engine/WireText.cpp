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
