#include "modService.h"

#include "ServiceDirectory.h"

#include <array>

QString modService::StatusName(int status) {
    static const std::array<const char*, 8> names = {
        "Stopped",          "Start Pending", "Stop Pending", "Running",
        "Continue Pending", "Pause Pending", "Paused",       "Error"};
    if (status < 1 || status > static_cast<int>(names.size()))
        return {};
    return QString::fromLatin1(names[static_cast<size_t>(status - 1)]);
}

int ServicePoll::poll() {
    // The name is matched exactly: a service spelt in other letter case is not ours.
    if (!directory_.serviceNames().contains(modService::ServiceName, Qt::CaseSensitive))
        return 0;
    const QString text = modService::StatusName(directory_.serviceStatus(modService::ServiceName));
    if (!text.isEmpty())
        statusText_ = text;
    return statusText_ == QLatin1String("Stopped") ? 1 : 2;
}
