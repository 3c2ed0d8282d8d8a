#pragma once

// The console's view of the service: the three-second poll behind the service panel of
// the main window, starting and stopping through the service directory, and launching the
// service program with a switch.

#include "ServiceName.h"

#include <QString>

class MessageBoxes;
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

} // namespace modService

class ServicePoll {
public:
    explicit ServicePoll(ServiceDirectory& directory) : directory_(directory) {}

    // Reads the directory once and gives the ServiceState: 0 not installed, 1 stopped,
    // 2 any other status.
    int poll();

    // The last status text read; a reading outside 1..8 keeps the previous one.
    [[nodiscard]] QString svcStatusText() const { return statusText_; }

    // Start or stop the service the last poll found, then read its status again. False,
    // after saying why in `boxes`, when it was not found or did not answer in time.
    [[nodiscard]] bool svcStart(MessageBoxes& boxes);
    [[nodiscard]] bool svcStop(MessageBoxes& boxes);

private:
    [[nodiscard]] bool control(bool start, MessageBoxes& boxes);
    void svcReadStatus();

    ServiceDirectory& directory_;
    QString statusText_;
    bool found_ = false;
};
