#pragma once

// How the texts of the data file are read as numbers and Booleans.

#include <QString>
#include <optional>

namespace ReadRules {

// Leading and trailing spaces removed (spaces only, as the file's writers pad).
[[nodiscard]] QString TrimSpaces(const QString& text);

// The number at the start of the text: leading blanks, an optional sign, digits and an
// optional decimal part; 0 when the text does not start with one.
[[nodiscard]] double LeadingNumber(const QString& text);

// "True"/"False" in any case, or a number (non-zero is True), blanks trimmed;
// nullopt for any other text.
[[nodiscard]] std::optional<bool> BooleanText(const QString& text);

// A stored flag: False when blank or "0", True for anything else.
[[nodiscard]] bool FlagText(const QString& text);

// A port number from 1 to 65535 as the whole of text; nullopt for anything else.
[[nodiscard]] std::optional<quint16> PortNumber(const QString& text);

} // namespace ReadRules
