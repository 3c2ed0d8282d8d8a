#pragma once

// The console's view of the service: the three-second poll behind the service panel of
// the main window, starting and stopping through the service directory, and launching the
// service program with a switch.

#include "ServiceName.h"

#include <QString>

class ServiceDirectory;

namespace modService {

inline const QString ServiceName = QLatin1String(::ServiceName);
// The title of the service messages, and the one for a service that is not there.
inline const QString MessageTitle = QStringLiteral("Service");
inline const QString NotFoundText =
    QStringLiteral("Service could not be found, the service is not installed");

// "Stopped" .. "Error" for 1..8; empty for any other number.
[[nodiscard]] QString StatusName(int status);

// hollisvc in Folders::Program().
[[nodiscard]] QString ServiceProgramPath();

struct Launch {
    qint64 task = 0;      // the process id; 0 when it did not start
    bool missing = false; // the program file was not there
    int error = 0;
    QString description;
};

// Starts the service program with `switchWord` ("-install", "-uninstall", "-query") on its
// own, without waiting for it.
[[nodiscard]] Launch LaunchServiceProgram(const QString& switchWord);

// The service program with `switchWord`, through pkexec when the console is not root;
// empty when it is not root and pkexec is not there.
[[nodiscard]] QStringList RootCommand(const QString& switchWord);

struct Outcome {
    bool ran = false; // started and ended by itself
    int exitCode = 0;
    QString output; // standard output and error together
};
// Runs `command` and waits for it, letting the thread's events run meanwhile: when the
// thread is told to quit, the program is killed and the outcome is that it did not run.
[[nodiscard]] Outcome RunProgram(const QStringList& command);

} // namespace modService

class ServicePoll {
public:
    explicit ServicePoll(ServiceDirectory& directory) : directory_(directory) {}

    // Reads the directory once and gives the ServiceState: 0 not installed, 1 stopped,
    // 2 any other status.
    int poll();

    // The last status text read; a reading outside 1..8 keeps the previous one.
    [[nodiscard]] QString svcStatusText() const { return statusText_; }

    // Whether the last poll found the service.
    [[nodiscard]] bool found() const { return found_; }

private:
    void svcReadStatus();

    ServiceDirectory& directory_;
    QString statusText_;
    bool found_ = false;
};
