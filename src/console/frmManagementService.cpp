// The main window's service operations: Start and Stop through the service directory,
// Install, Uninstall and QueryMail by launching the service program.

#include "MessageBoxes.h"
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
    bool done = false;
    {
        const frmWaitAni wait;
        pollService();
        done = start ? poll_.svcStart(boxes_) : poll_.svcStop(boxes_);
    }
    if (done)
        boxes_.show(serviceMessage(start ? tr("Service was started") : tr("Service was stopped"),
                                   MsgBox::Icon::Information));
}

bool frmManagement::launchQuietly(const QString& switchWord) {
    if (!serviceProgramExists()) {
        boxes_.show(serviceMessage(tr("Service could not be located on your machine"),
                                   MsgBox::Icon::Exclamation));
        return false;
    }
    const frmWaitAni wait;
    return modService::LaunchServiceProgram(switchWord).task != 0;
}

void frmManagement::InstallService() {
    if (ServiceState_ != 0) {
        boxes_.show(
            serviceMessage(tr("The service is already installed"), MsgBox::Icon::Information));
        return;
    }
    // The status panel shows the outcome at a later poll.
    [[maybe_unused]] const bool launched = launchQuietly(QStringLiteral("-install"));
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
    if (launchQuietly(QStringLiteral("-uninstall")))
        boxes_.show({tr("The service may appear in the services list and show \"offline\" in "
                        "the status bar below until you close all management consoles and this "
                        "console."),
                     QString(), MsgBox::Icon::None});
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
    modService::Launch launch;
    {
        const frmWaitAni wait;
        launch = modService::LaunchServiceProgram(QStringLiteral("-query"));
    }
    if (launch.missing) {
        boxes_.show({LoadResString(315), LoadResString(314), MsgBox::Icon::Exclamation});
    } else if (launch.task == 0) {
        boxes_.show({tr("Error %1: %2").arg(launch.error).arg(launch.description),
                     LoadResString(354), MsgBox::Icon::Critical});
    } else {
        boxes_.show({LoadResString(353), LoadResString(351), MsgBox::Icon::Information});
    }
}
