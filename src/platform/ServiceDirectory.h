#pragma once

// The operating system's list of installed services, as the console polls and controls it.

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

    // Start or stop the service and wait until it has done so. False when it did not
    // answer in time.
    [[nodiscard]] virtual bool startService(const QString& name) = 0;
    [[nodiscard]] virtual bool stopService(const QString& name) = 0;
};

// systemd through `systemctl` (HOLLIMERE_SYSTEMCTL names another command).
class SystemdServiceDirectory : public ServiceDirectory {
public:
    // A status call that outlasts `timeoutMs` is killed and counts as unreachable, so a
    // hung manager never freezes the console for long. Starting and stopping wait for
    // systemd's own job time-out (90 seconds unless the unit says otherwise); a call that
    // outlasts `controlTimeoutMs` is killed in case systemd itself hangs.
    explicit SystemdServiceDirectory(int timeoutMs = 2000, int controlTimeoutMs = 120000);

    [[nodiscard]] QStringList serviceNames() override;
    [[nodiscard]] int serviceStatus(const QString& name) override;
    // Every failed call counts as no answer: systemd reports its job time-out as a
    // failure, and the console must not end a refused start or stop in silence.
    [[nodiscard]] bool startService(const QString& name) override;
    [[nodiscard]] bool stopService(const QString& name) override;

    // The status number for the properties `systemctl show` reports.
    [[nodiscard]] static int StatusFromUnitState(const QString& loadState,
                                                 const QString& activeState,
                                                 const QString& freezerState);

private:
    [[nodiscard]] bool control(const QString& verb, const QString& name) const;

    int timeoutMs_;
    int controlTimeoutMs_;
};
