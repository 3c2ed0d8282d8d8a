#pragma once

// The service's registration with systemd and its messages to it.

#include <QString>

namespace ServiceManager {

inline constexpr char ServiceName[] = "Pop3_QVL";

struct Result {
    bool ok = false;
    QString error;
    explicit operator bool() const { return ok; }
};

// HOLLIMERE_UNIT_DIR, else /etc/systemd/system.
[[nodiscard]] QString UnitDirectory();
[[nodiscard]] QString UnitPath();

// The unit that runs `programPath` (absolute) as the service.
[[nodiscard]] QString UnitText(const QString& programPath);

// Writes the unit, reloads systemd and enables the service to start at boot.
[[nodiscard]] Result Install(const QString& programPath);
// Disables the service, removes the unit and reloads systemd.
[[nodiscard]] Result Uninstall();

// True when systemd started this process as a notify service.
[[nodiscard]] bool UnderServiceManager();
void NotifyReady();
void NotifyStopping();
void NotifyStatus(const QString& status);

} // namespace ServiceManager
