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

void say(const QString& text) {
    std::fprintf(stdout, "%s\n", qPrintable(text));
    std::fflush(stdout);
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
    const Switches switches = ParseSwitches(arguments.mid(1));
    if (switches.query && !switches.help && !switches.version)
        LogEvent(EventLog::Information, 110, QStringLiteral("Manual Mail query requested"));

    const StartupAction action = Decide(switches, ServiceManager::UnderServiceManager());
    switch (action) {
    case StartupAction::ShowHelp:
        say(usage());
        return 0;
    case StartupAction::ShowVersion:
        say(UpdateCheck::VersionLine(QStringLiteral("hollisvc")));
        return 0;
    case StartupAction::Conflict:
        return fail(QStringLiteral(
            "You cannot install and uninstall at the same time, use only one switch."));
    case StartupAction::Uninstall:
    case StartupAction::Install: {
        const bool install = action == StartupAction::Install;
        const auto r = install ? ServiceManager::Install(QCoreApplication::applicationFilePath())
                               : ServiceManager::Uninstall();
        if (!r)
            return fail(r.error);
        say(install ? QStringLiteral("Service Installed") : QStringLiteral("Service Uninstalled"));
        return 0;
    }
    case StartupAction::Setup:
        say(QStringLiteral("There is no longer a setup mode within this program, please use the "
                           "QVL Hollimere Management Console"));
        return 0;
    case StartupAction::ExplainUsage:
        return fail(QStringLiteral("hollisvc runs as the systemd service %1 (install it with "
                                   "-install). To run it by hand use -debug; -query runs one mail "
                                   "cycle and ends.")
                        .arg(QLatin1String(ServiceName)),
                    2);
    case StartupAction::RunQuery:
    case StartupAction::RunDebug:
    case StartupAction::RunService:
        return run(arguments, action == StartupAction::RunQuery, std::move(retrieve));
    }
    return 1;
}
