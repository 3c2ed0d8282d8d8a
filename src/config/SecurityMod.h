#pragma once

// The field cipher of the data file: a character-wise shift by the digits derived
// from a key, with the key appended so that the reverse can tell a wrong key.
// It obfuscates; it does not encrypt. All texts are single-byte (Windows-1252).

#include <QByteArray>
#include <optional>

namespace SecurityMod {

// Fixed key that scrambles only the record holding the file's own key.
inline constexpr char FixedKey[] = "*AnOceanOfQuietGlass*";

[[nodiscard]] QByteArray DeriveKeyDigits(const QByteArray& key);

// Always text.size() + key.size() bytes long.
[[nodiscard]] QByteArray Scramble(const QByteArray& text, const QByteArray& key);

// The original text; the empty text when `text` was not scrambled with `key`;
// nullopt when the key check meets a byte below its shift (a damaged record),
// which the data file's loader must treat as a read error.
[[nodiscard]] std::optional<QByteArray> Unscramble(const QByteArray& text, const QByteArray& key);

} // namespace SecurityMod
