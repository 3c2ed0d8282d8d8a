#pragma once

// Values from the data file as they go into a command line on the wire.

#include <QByteArray>
#include <QString>
#include <optional>

// The Windows-1252 bytes of text; nullopt when it holds CR, LF or NUL, which would end
// or split the command it goes into, or a character that has no byte.
[[nodiscard]] std::optional<QByteArray> WireText(const QString& text);

// text with CR, LF and NUL written as \r, \n and \0, for an event that names it.
[[nodiscard]] QString VisibleText(QString text);
