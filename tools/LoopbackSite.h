#pragma once

// A site for whole-program runs: a data file whose SMTP server and three accounts
// point at loopback servers, and the environment in which hollisvc uses it.

#include "ConfigModel.h"

#include <QProcessEnvironment>

// "Sales" (single-user, user sales, password pw1, for sales@example.org), "Domain"
// (Global ISP Mail Host for isp.example, catchall/pw2) and "Archive" (single-user, kept
// on the host, archive/pw3, for arch@example.org), all on 127.0.0.1:popPort; post master
// postmaster@example.org; level High; no Internet check.
[[nodiscard]] Configuration LoopbackSite(quint16 popPort, quint16 smtpPort, int timeoutSeconds);

// hollisvc reads its data file from dataDir and logs to eventLog; not under systemd.
[[nodiscard]] QProcessEnvironment HollisvcEnvironment(const QString& dataDir,
                                                      const QString& eventLog, int secondMs);
