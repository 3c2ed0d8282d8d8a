#pragma once

// Running systemd's `systemctl` (HOLLIMERE_SYSTEMCTL names another command).

#include <QByteArray>
#include <QString>
#include <QStringList>

struct SystemctlResult {
    bool ok = false;   // ran and exited 0 within the time limit
    QByteArray output; // standard output
    QString error;     // why it failed: standard error, exit status or time-out
};

[[nodiscard]] QString SystemctlCommand();

// A call that outlasts `timeoutMs` is killed and fails.
[[nodiscard]] SystemctlResult RunSystemctl(const QStringList& arguments, int timeoutMs);
