#include "modService.h"

#include "Folders.h"
#include "MessageBoxes.h"
#include "ServiceDirectory.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

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

bool ServicePoll::svcStart(MessageBoxes& boxes) {
    return control(true, boxes);
}

bool ServicePoll::svcStop(MessageBoxes& boxes) {
    return control(false, boxes);
}

bool ServicePoll::control(bool start, MessageBoxes& boxes) {
    const QString& title = modService::MessageTitle;
    if (!found_) {
        boxes.show({modService::NotFoundText, title, MsgBox::Icon::Critical});
        return false;
    }
    const bool answered = start ? directory_.startService(modService::ServiceName)
                                : directory_.stopService(modService::ServiceName);
    if (!answered) {
        boxes.show({QStringLiteral("Service did not respond to request to %1")
                        .arg(start ? QLatin1String("start") : QLatin1String("stop")),
                    title, MsgBox::Icon::Critical});
        return false;
    }
    svcReadStatus();
    return true;
}
