#pragma once

// The operating system's list of installed services, as the console polls it.

#include <QString>
#include <QStringList>

class ServiceDirectory {
public:
    virtual ~ServiceDirectory() = default;

    // Every installed service by name; empty when the directory cannot be reached.
    [[nodiscard]] virtual QStringList serviceNames() = 0;

    // 1 Stopped, 2 Start Pending, 3 Stop Pending, 4 Running, 5 Continue Pending,
    // 6 Pause Pending, 7 Paused, 8 Error; 0 when the state cannot be read.
    [[nodiscard]] virtual int serviceStatus(const QString& name) = 0;
};

// systemd through `systemctl` (HOLLIMERE_SYSTEMCTL names another command).
class SystemdServiceDirectory : public ServiceDirectory {
public:
    // A call that outlasts `timeoutMs` is killed and counts as unreachable, so a hung
    // manager never freezes the console for long.
    explicit SystemdServiceDirectory(int timeoutMs = 2000);

    [[nodiscard]] QStringList serviceNames() override;
    [[nodiscard]] int serviceStatus(const QString& name) override;

    // The status number for the properties `systemctl show` reports.
    [[nodiscard]] static int StatusFromUnitState(const QString& loadState,
                                                 const QString& activeState,
                                                 const QString& freezerState);

private:
    int timeoutMs_;
};
