#include "modService.h"

#include "Folders.h"
#include "ServiceDirectory.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

#include <array>

QString modService::StatusName(int status) {
    static const std::array<const char*, 8> names = {
        "Stopped",          "Start Pending", "Stop Pending", "Running",
        "Continue Pending", "Pause Pending", "Paused",       "Error"};
    if (status < 1 || status > static_cast<int>(names.size()))
        return {};
    return QString::fromLatin1(names[static_cast<size_t>(status - 1)]);
}

QString modService::ServiceProgramPath() {
    return Folders::Program() + QStringLiteral("/hollisvc");
}

modService::Launch modService::LaunchServiceProgram(const QString& switchWord) {
    QProcess process;
    process.setProgram(ServiceProgramPath());
    process.setArguments({switchWord});
    Launch launch;
    if (process.startDetached(&launch.task))
        return launch;
    launch.task = 0;
    launch.missing = !QFileInfo::exists(process.program());
    launch.error = process.error();
    launch.description = process.errorString();
    return launch;
}

QStringList modService::RootCommand(const QString& switchWord) {
    const QStringList command = {ServiceProgramPath(), switchWord};
    if (::geteuid() == 0)
        return command;
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    return pkexec.isEmpty() ? QStringList() : QStringList(pkexec) + command;
}

modService::Outcome modService::RunProgram(const QStringList& command) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    process.start(command.value(0), command.mid(1));
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    Outcome outcome;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return outcome;
    }
    outcome.output = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (process.error() == QProcess::FailedToStart) {
        outcome.output = process.errorString();
        return outcome;
    }
    outcome.ran = process.exitStatus() == QProcess::NormalExit;
    outcome.exitCode = process.exitCode();
    return outcome;
}

int ServicePoll::poll() {
    // The name is matched exactly: a service spelt in other letter case is not ours.
    found_ = directory_.serviceNames().contains(modService::ServiceName, Qt::CaseSensitive);
    if (!found_)
        return 0;
    svcReadStatus();
    return statusText_ == QLatin1String("Stopped") ? 1 : 2;
}

void ServicePoll::svcReadStatus() {
    const QString text = modService::StatusName(directory_.serviceStatus(modService::ServiceName));
    if (!text.isEmpty())
        statusText_ = text;
}
