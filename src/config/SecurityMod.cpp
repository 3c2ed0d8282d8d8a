#include "SecurityMod.h"

namespace SecurityMod {

namespace {

int digitAt(const QByteArray& digits, qsizetype index) {
    return digits.at(index % digits.size()) - '0';
}

} // namespace

QByteArray DeriveKeyDigits(const QByteArray& key) {
    if (key.isEmpty())
        return QByteArrayLiteral("0");
    QByteArray r;
    for (qsizetype i = key.size() - 1; i >= 0; --i) {
        const auto code = static_cast<unsigned char>(key.at(i));
        r.append(code >= '0' && code <= '9' ? key.mid(i, 1) : QByteArray::number(code));
    }
    const qsizetype l = r.size();
    if (l % 2 != 0)
        r.append('0');
    // The mirror reads from the unpadded end (position L - j), never from what it appends.
    const QByteArray base = r;
    for (qsizetype j = 0; j < base.size() / 2; ++j) {
        r.append(base.at(j));
        r.append(base.at(l - 1 - j));
    }
    r.append(QByteArray::number(r.size()));
    return r;
}

QByteArray Scramble(const QByteArray& text, const QByteArray& key) {
    const QByteArray digits = DeriveKeyDigits(key);
    const QByteArray plain = text + key;
    QByteArray out(plain.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < plain.size(); ++i) {
        int c = static_cast<unsigned char>(plain.at(i)) + digitAt(digits, i);
        if (c > 255)
            c -= 255;
        out[i] = static_cast<char>(c);
    }
    return out;
}

std::optional<QByteArray> Unscramble(const QByteArray& text, const QByteArray& key) {
    const QByteArray digits = DeriveKeyDigits(key);
    if (text.size() < key.size())
        return QByteArray();

    // The key check subtracts without wrapping, as the routine always has: a byte
    // below its shift cannot have come from the cipher.
    const qsizetype tail = text.size() - key.size();
    for (qsizetype i = 0; i < key.size(); ++i) {
        const int v = static_cast<unsigned char>(text.at(tail + i)) - digitAt(digits, tail + i);
        if (v < 0)
            return std::nullopt;
        if (v != static_cast<unsigned char>(key.at(i)))
            return QByteArray();
    }

    QByteArray out(tail, Qt::Uninitialized);
    for (qsizetype i = 0; i < tail; ++i) {
        int v = static_cast<unsigned char>(text.at(i)) - digitAt(digits, i);
        if (v < 1)
            v += 255;
        out[i] = static_cast<char>(v);
    }
    return out;
}

} // namespace SecurityMod
