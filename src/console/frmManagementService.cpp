// The main window's service operations: Start and Stop through the service directory,
// Install and Uninstall by running the service program as root, QueryMail by launching it.

#include "MessageBoxes.h"
#include "ServiceDirectory.h"
#include "StringTable.h"
#include "frmManagement.h"
#include "frmWaitAni.h"

#include <QFileInfo>

namespace {

MsgBox::Request serviceMessage(const QString& text, MsgBox::Icon icon) {
    return {text, modService::MessageTitle, icon};
}

MsgBox::Request notFoundMessage() {
    return serviceMessage(modService::NotFoundText, MsgBox::Icon::Exclamation);
}

bool serviceProgramExists() {
    return QFileInfo(modService::ServiceProgramPath()).isFile();
}

} // namespace

void frmManagement::StartService() {
    switch (ServiceState_) {
    case 0:
        boxes_.show(notFoundMessage());
        return;
    case 1:
        controlService(true);
        return;
    default:
        boxes_.show(serviceMessage(tr("Service is already started."), MsgBox::Icon::Information));
    }
}

void frmManagement::StopService() {
    switch (ServiceState_) {
    case 0:
        boxes_.show(notFoundMessage());
        return;
    case 1:
        boxes_.show(serviceMessage(tr("Service is already stopped."), MsgBox::Icon::Information));
        return;
    default:
        controlService(false);
    }
}

void frmManagement::controlService(bool start) {
    pollService();
    if (!poll_.found()) {
        boxes_.show(serviceMessage(modService::NotFoundText, MsgBox::Icon::Critical));
        return;
    }
    // The directory is not asked from two threads at once.
    svcTmr_.stop();
    ServiceDirectory& directory = directory_;
    RunWaiting(
        this,
        [&directory, start] {
            return start ? directory.startService(modService::ServiceName)
                         : directory.stopService(modService::ServiceName);
        },
        [this, start](std::optional<bool> answered) {
            svcTmr_.start();
            pollService();
            if (!answered)
                return;
            if (!*answered)
                boxes_.show(serviceMessage(start ? tr("Service did not respond to request to start")
                                                 : tr("Service did not respond to request to stop"),
                                           MsgBox::Icon::Critical));
            else
                boxes_.show(
                    serviceMessage(start ? tr("Service was started") : tr("Service was stopped"),
                                   MsgBox::Icon::Information));
        });
}

void frmManagement::runAsRoot(const QString& switchWord) {
    if (!serviceProgramExists()) {
        boxes_.show(serviceMessage(tr("Service could not be located on your machine"),
                                   MsgBox::Icon::Exclamation));
        return;
    }
    const QStringList command = modService::RootCommand(switchWord);
    if (command.isEmpty()) {
        boxes_.show(serviceMessage(tr("This needs root, and pkexec is not there to ask for it. "
                                      "Run as root:\n\n%1 %2")
                                       .arg(modService::ServiceProgramPath(), switchWord),
                                   MsgBox::Icon::Exclamation));
        return;
    }
    RunWaiting(
        this, [command] { return modService::RunProgram(command); },
        [this, switchWord](std::optional<modService::Outcome> outcome) {
            pollService();
            if (!outcome)
                return;
            const bool ok = outcome->ran && outcome->exitCode == 0;
            const QString ending =
                outcome->ran
                    ? tr("hollisvc %1 ended with status %2.").arg(switchWord).arg(outcome->exitCode)
                    : tr("hollisvc %1 did not run to its end.").arg(switchWord);
            boxes_.show(serviceMessage(outcome->output.isEmpty()
                                           ? ending
                                           : ending + QStringLiteral("\n\n") + outcome->output,
                                       ok ? MsgBox::Icon::Information : MsgBox::Icon::Critical));
        });
}

void frmManagement::InstallService() {
    if (ServiceState_ != 0) {
        boxes_.show(
            serviceMessage(tr("The service is already installed"), MsgBox::Icon::Information));
        return;
    }
    runAsRoot(QStringLiteral("-install"));
}

void frmManagement::UninstallService() {
    if (ServiceState_ == 0) {
        boxes_.show(
            serviceMessage(tr("The service is already uninstalled"), MsgBox::Icon::Information));
        return;
    }
    if (ServiceState_ == 2) {
        boxes_.show(serviceMessage(tr("Please stop the service before uninstalling"),
                                   MsgBox::Icon::Information));
        return;
    }
    runAsRoot(QStringLiteral("-uninstall"));
}

void frmManagement::QueryMail() {
    if (!serviceProgramExists()) {
        boxes_.show({tr("Service was not located on your local machine"), tr("Find Service"),
                     MsgBox::Icon::Critical});
        return;
    }
    if (boxes_.show({LoadResString(352),
                     LoadResString(351),
                     MsgBox::Icon::Question,
                     {MsgBox::Button::Yes, MsgBox::Button::No},
                     MsgBox::Button::Yes}) != MsgBox::Button::Yes)
        return;
    // The cycle runs on its own; starting it takes a moment.
    const modService::Launch launch = modService::LaunchServiceProgram(QStringLiteral("-query"));
    if (launch.missing) {
        boxes_.show({LoadResString(315), LoadResString(314), MsgBox::Icon::Exclamation});
    } else if (launch.task == 0) {
        boxes_.show({tr("Error %1: %2").arg(launch.error).arg(launch.description),
                     LoadResString(354), MsgBox::Icon::Critical});
    } else {
        boxes_.show({LoadResString(353), LoadResString(351), MsgBox::Icon::Information});
    }
}
