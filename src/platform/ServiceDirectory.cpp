#include "ServiceDirectory.h"

#include "Systemctl.h"

namespace {

const QString UnitSuffix = QStringLiteral(".service");

} // namespace

SystemdServiceDirectory::SystemdServiceDirectory(int timeoutMs, int controlTimeoutMs)
    : timeoutMs_(timeoutMs), controlTimeoutMs_(controlTimeoutMs) {}

QStringList SystemdServiceDirectory::serviceNames() {
    const SystemctlResult listed = RunSystemctl(
        {QStringLiteral("list-unit-files"), QStringLiteral("--type=service"),
         QStringLiteral("--no-legend"), QStringLiteral("--no-pager"), QStringLiteral("--plain")},
        timeoutMs_);
    QStringList names;
    if (!listed.ok)
        return names;
    for (const QByteArray& line : listed.output.split('\n')) {
        const QString unit = QString::fromUtf8(line.trimmed().split(' ').value(0));
        if (unit.endsWith(UnitSuffix))
            names.append(unit.chopped(UnitSuffix.size()));
    }
    return names;
}

int SystemdServiceDirectory::serviceStatus(const QString& name) {
    const SystemctlResult shown =
        RunSystemctl({QStringLiteral("show"), QStringLiteral("--no-pager"),
                      QStringLiteral("--property=LoadState,ActiveState,FreezerState"),
                      QStringLiteral("--"), name + UnitSuffix},
                     timeoutMs_);
    if (!shown.ok)
        return 0;
    QString load, active, freezer;
    for (const QByteArray& line : shown.output.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals);
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        if (key == "LoadState")
            load = value;
        else if (key == "ActiveState")
            active = value;
        else if (key == "FreezerState")
            freezer = value;
    }
    return StatusFromUnitState(load, active, freezer);
}

int SystemdServiceDirectory::StatusFromUnitState(const QString& loadState,
                                                 const QString& activeState,
                                                 const QString& freezerState) {
    if (loadState == QLatin1String("error") || loadState == QLatin1String("bad-setting"))
        return 8;
    if (loadState != QLatin1String("loaded"))
        return 0;
    // Pausing the service freezes its unit.
    if (freezerState == QLatin1String("frozen"))
        return 7;
    if (freezerState == QLatin1String("freezing"))
        return 6;
    if (freezerState == QLatin1String("thawing"))
        return 5;
    // A failed unit is not running and can be started again, as a stopped one can.
    if (activeState == QLatin1String("inactive") || activeState == QLatin1String("failed"))
        return 1;
    if (activeState == QLatin1String("activating"))
        return 2;
    if (activeState == QLatin1String("deactivating"))
        return 3;
    if (activeState == QLatin1String("active") || activeState == QLatin1String("reloading"))
        return 4;
    return 0;
}

bool SystemdServiceDirectory::startService(const QString& name) {
    return control(QStringLiteral("start"), name);
}

bool SystemdServiceDirectory::stopService(const QString& name) {
    return control(QStringLiteral("stop"), name);
}

bool SystemdServiceDirectory::control(const QString& verb, const QString& name) const {
    return RunSystemctl({verb, QStringLiteral("--"), name + UnitSuffix}, controlTimeoutMs_).ok;
}
