#include "PopTls.h"

#include "Ansi.h"
#include "EventLog.h"
#include "OncePerAccount.h"

namespace {

void ReportTlsFailure(const QString& host, const QString& reason) {
    LogEvent(EventLog::Error, 8020,
             QStringLiteral("Secure connection failed to: ") + host + QStringLiteral(", ") +
                 reason + QStringLiteral(". The user name and password were not sent."));
}

} // namespace

bool AwaitPOPTls(SessionSlot& slot, const QString& host) {
    MailConnection& pop = slot.POP;
    const int seconds = slot.Settings.popTimeout;
    Stopwatch watch(slot.Clock());
    while (!pop.Socket.encrypted()) {
        if (slot.StopRequested()) {
            pop.close();
            return false;
        }
        QString reason = pop.Socket.tlsFailure();
        const bool timedOut = seconds < watch.elapsed();
        if (reason.isEmpty() && timedOut && pop.Socket.state() == SessionSocket::State::Connected)
            reason = QStringLiteral("the TLS handshake timed out");
        if (!reason.isEmpty()) {
            ReportTlsFailure(host, reason);
            pop.close();
            return false;
        }
        if (timedOut || !pop.live()) {
            slot.ReportPOPFailure(host);
            return false;
        }
        slot.LetEventsRun();
    }
    return true;
}

bool UpgradePOP(SessionSlot& slot, const QString& host) {
    if (!slot.POPCommand("STLS", "+OK")) {
        if (!slot.POPData.isEmpty())
            ReportTlsFailure(host, QStringLiteral("the server refused STLS (") +
                                       Ansi::FromAnsi(slot.POPData.trimmed()) + QLatin1Char(')'));
        slot.ReportPOPFailure(host);
        return false;
    }
    if (!slot.POP.startTls()) {
        slot.ReportPOPFailure(host);
        return false;
    }
    return AwaitPOPTls(slot, host);
}

void WarnUnencryptedLogin(const AccountRecord& account) {
    if (!FirstTimeFor("plain login", account))
        return;
    LogEvent(EventLog::Warning, 8021,
             QStringLiteral("Password sent unencrypted to: ") + account.MailServer +
                 QStringLiteral(" for ") + account.UserName +
                 QStringLiteral(", the server does not offer STLS. Use a server that offers "
                                "TLS (port 995 or STLS) if you can."));
}
