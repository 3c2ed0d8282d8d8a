#pragma once

// Windows-1252, the single-byte code page of the data file and of the wire.

#include <QByteArray>
#include <QString>
#include <optional>

namespace Ansi {

// Every byte has a character: the five bytes that Windows-1252 leaves unassigned
// map to the C1 controls of the same value, so that nothing read is ever lost.
[[nodiscard]] QString FromAnsi(QByteArrayView bytes);

// nullopt when a character has no Windows-1252 byte; `bad` then names it.
[[nodiscard]] std::optional<QByteArray> ToAnsi(QStringView text, char32_t* bad = nullptr);

// "U+20AC" style name of a character, for error messages.
[[nodiscard]] QString CodePointName(char32_t c);

} // namespace Ansi
