#include "Systemctl.h"

#include <QProcess>

QString SystemctlCommand() {
    return qEnvironmentVariable("HOLLIMERE_SYSTEMCTL", QStringLiteral("systemctl"));
}

SystemctlResult RunSystemctl(const QStringList& arguments, int timeoutMs) {
    const QString command = SystemctlCommand();
    const QString line = command + u' ' + arguments.join(u' ');
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(command, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs))
        return {false, {}, QStringLiteral("%1: %2").arg(line, process.errorString())};
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(timeoutMs);
        return {false, {}, QStringLiteral("%1: no answer within %2 ms").arg(line).arg(timeoutMs)};
    }
    const QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString detail = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return {false, output,
                QStringLiteral("%1 failed (exit status %2)%3")
                    .arg(line)
                    .arg(process.exitCode())
                    .arg(detail.isEmpty() ? QString() : QStringLiteral(": ") + detail)};
    }
    return {true, output, {}};
}
