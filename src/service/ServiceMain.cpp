#include "ServiceMain.h"

#include "CommandLine.h"
#include "EventLog.h"
#include "FileMod.h"
#include "Folders.h"
#include "SecondLength.h"
#include "ServiceManager.h"
#include "SignalWatcher.h"
#include "UpdateCheck.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

int say(const QString& text) {
    std::fprintf(stdout, "%s\n", qPrintable(text));
    std::fflush(stdout);
    return 0;
}

int fail(const QString& text, int status = 1) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    return status;
}

QString usage() {
    return QStringLiteral(
               "Usage: hollisvc [-install | -uninstall | -debug | -query | -setup]\n"
               "       hollisvc --help | --version\n"
               "\n"
               "Relays the mail waiting in POP3 mailboxes to an SMTP server. Without a switch\n"
               "it runs as the systemd service %1.\n"
               "\n"
               "  -install    enable the service %1 to start at boot\n"
               "  -uninstall  disable the service\n"
               "  -debug      run the service in this terminal, without systemd\n"
               "  -query      run one mail cycle over every account, then end\n"
               "  --help      show this text\n"
               "  --version   show the version\n"
               "\n"
               "Data file:  %2\n"
               "State:      %3\n"
               "See hollisvc(8).")
        .arg(QLatin1String(ServiceName), FileMod::DataFilePath(Folders::Data()), Folders::State());
}

// Runs the control object until it has stopped: after one cycle in query mode, else
// until a stop signal.
int run(const QStringList& arguments, bool queryMode, CtrlFrm::Retrieve retrieve) {
    CtrlFrm ctrl({.dataFile = FileMod::DataFilePath(
                      Folders::Data(), QFileInfo(arguments.value(0)).completeBaseName()),
                  .stateFolder = Folders::State(),
                  .secondMs = SecondLengthMs(),
                  .queryMode = queryMode,
                  .retrieve = std::move(retrieve)});
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::stopRequested, &ctrl, [&ctrl] {
        ServiceManager::NotifyStopping();
        ctrl.Stop();
    });
    QObject::connect(&watcher, &SignalWatcher::pauseRequested, &ctrl, &CtrlFrm::Pause);
    QObject::connect(&watcher, &SignalWatcher::continueRequested, &ctrl, &CtrlFrm::Continue);
    QObject::connect(&ctrl, &CtrlFrm::stopped, qApp, &QCoreApplication::quit);
    QObject::connect(&ctrl, &CtrlFrm::queryFinished, qApp, &QCoreApplication::quit);
    if (queryMode) {
        QTimer::singleShot(0, &ctrl, &CtrlFrm::MailCycle);
    } else {
        ctrl.Start();
        ServiceManager::NotifyReady();
    }
    return QCoreApplication::exec();
}

} // namespace

int ServiceMain(const QStringList& arguments, CtrlFrm::Retrieve retrieve) {
    const Switches s = ParseSwitches(arguments.mid(1));
    if (s.query && !s.help && !s.version)
        LogEvent(EventLog::Information, 110, QStringLiteral("Manual Mail query requested"));
    // The first of these that applies decides.
    if (s.help)
        return say(usage());
    if (s.version)
        return say(UpdateCheck::VersionLine(QStringLiteral("hollisvc")));
    if (s.install && s.uninstall)
        return fail(QStringLiteral(
            "You cannot install and uninstall at the same time, use only one switch."));
    if (s.install || s.uninstall) {
        const auto r = s.install ? ServiceManager::Install(QCoreApplication::applicationFilePath())
                                 : ServiceManager::Uninstall();
        return !r          ? fail(r.error)
               : s.install ? say(QStringLiteral("Service Installed"))
                           : say(QStringLiteral("Service Uninstalled"));
    }
    if (s.setup)
        return say(QStringLiteral("There is no longer a setup mode within this program, please "
                                  "use the QVL Hollimere Management Console"));
    if (!s.debug && !ServiceManager::UnderServiceManager())
        return fail(QStringLiteral("hollisvc runs as the systemd service %1 (install it with "
                                   "-install). To run it by hand use -debug; -query runs one mail "
                                   "cycle and ends.")
                        .arg(QLatin1String(ServiceName)),
                    2);
    return run(arguments, s.query, std::move(retrieve));
}
