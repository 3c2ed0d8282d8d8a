#pragma once

// Files that are replaced whole: a reader, or a crash at any moment, finds the old file or
// the new one, never a part of either.

#include <QByteArray>
#include <QString>

// Writes bytes to a new file beside path, flushed to disk, renames it over path and makes
// the rename durable too. Readable and writable by the owner only. Empty when it
// succeeded, else why it failed, naming the file.
[[nodiscard]] QString WriteAtomically(const QString& path, const QByteArray& bytes);
