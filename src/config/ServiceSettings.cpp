#include "ServiceSettings.h"

#include "ReadRules.h"

#include <cmath>

namespace {

// Whole seconds, rounded down: the waits count whole seconds, so a time-out of 30.5
// ends where one of 30 does.
qint32 seconds(const QString& text) {
    return qint32(
        std::clamp(std::floor(ReadRules::LeadingNumber(text)), -2147483648.0, 2147483647.0));
}

} // namespace

ServiceSettings ReadServiceSettings(const ConfigSettings& stored) {
    ServiceSettings s;
    s.popTimeout = seconds(stored.PopTimeout);
    s.smtpTimeout = seconds(stored.SmtpTimeout);
    s.smtpServer = stored.SmtpServer;
    s.smtpPortText = stored.SmtpPort;
    s.smtpPort = ReadRules::PortNumber(ReadRules::TrimSpaces(stored.SmtpPort));
    s.localDomain = stored.LocalDomain;
    s.postmasterMailbox = stored.PostmasterMailbox;
    s.sendToPostmaster = ReadRules::LeadingNumber(stored.SendToPostmaster) == 1.0;
    s.multitask = ReadRules::BooleanText(stored.MultitaskMode).value_or(false);
    s.internetCheck = stored.NoInternetCheck == u"0";
    // Outside 1..3 counts as the nearest level, as the console's log dialog shows it.
    s.logLevel =
        LogLevel(int(std::clamp(std::floor(ReadRules::LeadingNumber(stored.LogMode)), 1.0, 3.0)));
    std::copy_n(stored.NoMailDays.begin(), s.noMailDays.size(), s.noMailDays.begin());
    return s;
}
