#pragma once

// The console's view of the installed service: the three-second poll behind the service
// panel of the main window.

#include <QString>

class ServiceDirectory;

namespace modService {

inline const QString ServiceName = QStringLiteral("Pop3_QVL");

// "Stopped" .. "Error" for 1..8; empty for any other number.
[[nodiscard]] QString StatusName(int status);

} // namespace modService

class ServicePoll {
public:
    explicit ServicePoll(ServiceDirectory& directory) : directory_(directory) {}

    // Reads the directory once and gives the ServiceState: 0 not installed, 1 stopped,
    // 2 any other status.
    int poll();

    // The last status text read; a reading outside 1..8 keeps the previous one.
    [[nodiscard]] QString svcStatusText() const { return statusText_; }

private:
    ServiceDirectory& directory_;
    QString statusText_;
};
