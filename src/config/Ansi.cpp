#include "Ansi.h"

#include <QList>

#include <algorithm>
#include <array>

namespace Ansi {

namespace {

// 0x80..0x9F; the unassigned bytes keep their own value.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::optional<char> byteFor(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    const auto at = std::find(HighControls.begin(), HighControls.end(), c);
    if (at == HighControls.end())
        return std::nullopt;
    return static_cast<char>(0x80 + (at - HighControls.begin()));
}

} // namespace

QString FromAnsi(QByteArrayView bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? QChar(HighControls[b - 0x80]) : QChar(b);
    }
    return out;
}

std::optional<QByteArray> ToAnsi(QStringView text, char32_t* bad) {
    QByteArray out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        const auto b = byteFor(c);
        if (!b) {
            if (bad)
                *bad = c;
            return std::nullopt;
        }
        out.append(*b);
    }
    return out;
}

QString CodePointName(char32_t c) {
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace Ansi
