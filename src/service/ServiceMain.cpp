#include "ServiceMain.h"

#include "CommandLine.h"
#include "EventLog.h"
#include "FileMod.h"
#include "SecondLength.h"
#include "ServiceManager.h"
#include "SignalWatcher.h"

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

CtrlFrm::Setup setupFor(const QStringList& arguments, bool queryMode, CtrlFrm::Retrieve retrieve) {
    const QFileInfo program(QCoreApplication::applicationFilePath());
    const QString folder = qEnvironmentVariable("HOLLIMERE_DATA_DIR", program.absolutePath());
    CtrlFrm::Setup setup;
    setup.dataFile =
        FileMod::DataFilePath(folder, QFileInfo(arguments.value(0)).completeBaseName());
    setup.programFolder = folder;
    setup.secondMs = SecondLengthMs();
    setup.queryMode = queryMode;
    setup.retrieve = std::move(retrieve);
    return setup;
}

// Runs the control object until it has stopped: after one cycle in query mode, else
// until a stop signal.
int run(CtrlFrm::Setup setup) {
    const bool queryMode = setup.queryMode;
    CtrlFrm ctrl(std::move(setup));
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
    if (switches.query)
        LogEvent(EventLog::Information, 110, QStringLiteral("Manual Mail query requested"));

    switch (Decide(switches, ServiceManager::UnderServiceManager())) {
    case StartupAction::Conflict:
        return fail(QStringLiteral(
            "You cannot install and uninstall at the same time, use only one switch."));
    case StartupAction::Uninstall:
        if (const auto r = ServiceManager::Uninstall(); !r)
            return fail(r.error);
        say(QStringLiteral("Service Uninstalled"));
        return 0;
    case StartupAction::Install:
        if (const auto r = ServiceManager::Install(QCoreApplication::applicationFilePath()); !r)
            return fail(r.error);
        say(QStringLiteral("Service Installed"));
        return 0;
    case StartupAction::Setup:
        say(QStringLiteral("There is no longer a setup mode within this program, please use the "
                           "QVL Hollimere Management Console"));
        return 0;
    case StartupAction::ExplainUsage:
        return fail(QStringLiteral("hollisvc runs as the systemd service %1 (install it with "
                                   "-install). To run it by hand use -debug; -query runs one mail "
                                   "cycle and ends.")
                        .arg(QLatin1String(ServiceManager::ServiceName)),
                    2);
    case StartupAction::RunQuery:
        return run(setupFor(arguments, true, std::move(retrieve)));
    case StartupAction::RunDebug:
    case StartupAction::RunService:
        return run(setupFor(arguments, false, std::move(retrieve)));
    }
    return 1;
}
