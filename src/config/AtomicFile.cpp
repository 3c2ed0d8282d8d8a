#include "AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

QString WriteAtomically(const QString& path, const QByteArray& bytes) {
    QTemporaryFile tmp(path + QStringLiteral(".XXXXXX"));
    if (!tmp.open())
        return QStringLiteral("Cannot create a file beside %1: %2").arg(path, tmp.errorString());
    const bool written = tmp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         tmp.write(bytes) == bytes.size() && tmp.flush() &&
                         ::fsync(tmp.handle()) == 0;
    if (!written)
        return QStringLiteral("Cannot write %1: %2").arg(tmp.fileName(), tmp.errorString());
    tmp.close();
    if (std::rename(QFile::encodeName(tmp.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return QStringLiteral("Cannot replace %1: %2").arg(path, qt_error_string(errno));
    tmp.setAutoRemove(false);
    // Make the rename itself durable.
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}
