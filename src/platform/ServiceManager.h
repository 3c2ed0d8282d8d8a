#pragma once

// The service's registration with systemd and its messages to it.

#include "ServiceName.h"

#include <QString>

namespace ServiceManager {

struct Result {
    bool ok = false;
    QString error;
    explicit operator bool() const { return ok; }
};

// HOLLIMERE_UNIT_DIR, else /etc/systemd/system.
[[nodiscard]] QString UnitDirectory();
[[nodiscard]] QString UnitPath();
// The unit a package ships: in HOLLIMERE_PACKAGED_UNIT_DIR, else /usr/lib/systemd/system.
[[nodiscard]] QString PackagedUnitPath();

// The unit that runs `programPath` (absolute) as the service.
[[nodiscard]] QString UnitText(const QString& programPath);

// Writes the unit, reloads systemd and enables the service to start at boot. Where a
// package shipped the unit, only enables it: a second copy would hide the package's.
[[nodiscard]] Result Install(const QString& programPath);
// Disables the service, removes the unit Install wrote and reloads systemd.
[[nodiscard]] Result Uninstall();

// True when systemd started this process as a notify service.
[[nodiscard]] bool UnderServiceManager();
void NotifyReady();
void NotifyStopping();
void NotifyStatus(const QString& status);

} // namespace ServiceManager
