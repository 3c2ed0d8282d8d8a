#include "LoopbackSite.h"

Configuration LoopbackSite(quint16 popPort, quint16 smtpPort, int timeoutSeconds) {
    Configuration c;
    ConfigSettings& s = c.Settings;
    s.FileKey = QStringLiteral("QbZxWkTrNmPqLsHvJdFgCyRtUeIoPzBnMxKwVcSbDfGhJkLqWeRtYuIoPzXcVbNm");
    s.SmtpServer = QStringLiteral("127.0.0.1");
    s.SmtpPort = QString::number(smtpPort);
    s.LocalDomain = QStringLiteral("example.org");
    s.CheckInterval = 10;
    s.LogMode = QStringLiteral("3");
    s.NoInternetCheck = QStringLiteral("1");
    s.PopTimeout = s.SmtpTimeout = QString::number(timeoutSeconds);
    s.PostmasterMailbox = QStringLiteral("postmaster@example.org");
    const QString pop = QStringLiteral("127.0.0.1:%1").arg(popPort);
    c.Accounts[0] = {"Sales", pop, "sales", "pw1", false, "sales@example.org", "", false};
    c.Accounts[1] = {"Domain", pop, "catchall", "pw2", true, "", "isp.example", false};
    c.Accounts[2] = {"Archive", pop, "archive", "pw3", false, "arch@example.org", "", true};
    return c;
}

QProcessEnvironment HollisvcEnvironment(const QString& dataDir, const QString& eventLog,
                                        int secondMs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOLLIMERE_DATA_DIR"), dataDir);
    env.insert(QStringLiteral("HOLLIMERE_EVENTLOG"), eventLog);
    env.insert(QStringLiteral("HOLLIMERE_SECOND_MS"), QString::number(secondMs));
    env.remove(QStringLiteral("NOTIFY_SOCKET"));
    return env;
}
