#include "ServiceManager.h"

#include "Systemctl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <systemd/sd-daemon.h>

namespace ServiceManager {

namespace {

constexpr int SystemctlTimeoutMs = 30000;

// systemd reads "%" as a specifier and splits on blanks unless the word is quoted.
QString execWord(const QString& path) {
    QString word = path;
    word.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'"', QStringLiteral("\\\""))
        .replace(u'%', QStringLiteral("%%"));
    return word.contains(u' ') || word.contains(u'\t') || word != path ? u'"' + word + u'"' : word;
}

QString unitFileName() {
    return QLatin1String(ServiceName) + QStringLiteral(".service");
}

Result systemctl(const QStringList& arguments) {
    const SystemctlResult r = RunSystemctl(arguments, SystemctlTimeoutMs);
    return {r.ok, r.error};
}

} // namespace

QString UnitDirectory() {
    return qEnvironmentVariable("HOLLIMERE_UNIT_DIR", QStringLiteral("/etc/systemd/system"));
}

QString UnitPath() {
    return QDir(UnitDirectory()).filePath(unitFileName());
}

QString PackagedUnitPath() {
    return QDir(qEnvironmentVariable("HOLLIMERE_PACKAGED_UNIT_DIR",
                                     QStringLiteral("/usr/lib/systemd/system")))
        .filePath(unitFileName());
}

QString UnitText(const QString& programPath) {
    QFile unit(QStringLiteral(":/packaging/Pop3_QVL.service.in"));
    const QString text =
        unit.open(QIODevice::ReadOnly) ? QString::fromUtf8(unit.readAll()) : QString();
    return QString(text).replace(QStringLiteral("@EXEC_START@"), execWord(programPath));
}

Result Install(const QString& programPath) {
    if (QFile::exists(PackagedUnitPath()))
        return systemctl({QStringLiteral("enable"), QLatin1String(ServiceName)});
    QSaveFile unit(UnitPath());
    const QByteArray text = UnitText(QFileInfo(programPath).absoluteFilePath()).toUtf8();
    // Readable by all whatever the umask; set before the commit, which forgets the name.
    if (!unit.open(QIODevice::WriteOnly) || unit.write(text) != text.size() ||
        !unit.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::ReadOther) ||
        !unit.commit())
        return {false, QStringLiteral("Cannot write %1: %2").arg(UnitPath(), unit.errorString())};
    if (Result r = systemctl({QStringLiteral("daemon-reload")}); !r)
        return r;
    return systemctl({QStringLiteral("enable"), QLatin1String(ServiceName)});
}

Result Uninstall() {
    if (!QFile::exists(UnitPath()) && QFile::exists(PackagedUnitPath()))
        return systemctl({QStringLiteral("disable"), QLatin1String(ServiceName)});
    if (!QFile::exists(UnitPath()))
        return {false, QStringLiteral("%1 is not installed (no %2)")
                           .arg(QLatin1String(ServiceName), UnitPath())};
    // Disabling a unit that is not enabled is no reason to keep it.
    const Result disabled = systemctl({QStringLiteral("disable"), QLatin1String(ServiceName)});
    if (!QFile::remove(UnitPath()))
        return {false, QStringLiteral("Cannot remove %1").arg(UnitPath())};
    if (Result r = systemctl({QStringLiteral("daemon-reload")}); !r)
        return r;
    return disabled;
}

bool UnderServiceManager() {
    return !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
}

void NotifyReady() {
    sd_notify(0, "READY=1");
}

void NotifyStopping() {
    sd_notify(0, "STOPPING=1");
}

void NotifyStatus(const QString& status) {
    sd_notify(0, ("STATUS=" + status.toUtf8()).constData());
}

} // namespace ServiceManager
