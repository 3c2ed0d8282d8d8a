#include "Folders.h"

#include <QCoreApplication>

namespace Folders {

namespace {

QString fromEnvironment(const char* variable, const QString& fallback = {}) {
    const QString folder = qEnvironmentVariable(variable);
    if (!folder.isEmpty())
        return folder;
    return fallback.isEmpty() ? QCoreApplication::applicationDirPath() : fallback;
}

} // namespace

QString Data() {
    return fromEnvironment("HOLLIMERE_DATA_DIR", QStringLiteral(HOLLIMERE_DATA_FOLDER));
}

QString Program() {
    return fromEnvironment("HOLLIMERE_PROGRAM_DIR");
}

QString State() {
    return fromEnvironment("HOLLIMERE_STATE_DIR", Data());
}

} // namespace Folders
