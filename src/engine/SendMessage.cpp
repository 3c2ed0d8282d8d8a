#include "SendMessage.h"

#include "EventLog.h"
#include "WireText.h"

namespace {

enum class Rcpt { Accepted, Refused, Failed };

Rcpt SendRecipient(SessionSlot& slot, const QByteArray& address) {
    if (slot.SMTPCommand("rcpt to: " + address, "250"))
        return Rcpt::Accepted;
    // A 4xx (try later) fails the delivery, so that nobody gets the message twice.
    return slot.SMTPData.startsWith('5') ? Rcpt::Refused : Rcpt::Failed;
}

// A domain mailbox's header also yields addresses that are no mailbox (a Message-ID at
// the remote domain): one refusal must not keep the message from the others.
bool SendRecipientList(SessionSlot& slot, const QList<QByteArray>& list,
                       const QByteArray& postmaster) {
    bool anyAccepted = false;
    bool anyRefused = false;
    for (const QByteArray& address : list) {
        if (address.trimmed().isEmpty())
            break;
        switch (SendRecipient(slot, address)) {
        case Rcpt::Accepted:
            anyAccepted = true;
            break;
        case Rcpt::Refused:
            anyRefused = true;
            LogEvent(EventLog::Warning, 8004,
                     QStringLiteral("Recipient refused by: ") + slot.Settings.smtpServer +
                         QStringLiteral(", the message is not delivered to ") +
                         QString::fromLatin1(address) + QStringLiteral(": ") +
                         QString::fromLatin1(slot.SMTPData.trimmed()));
            break;
        case Rcpt::Failed:
            return false;
        }
    }
    if (anyAccepted || !anyRefused)
        return true;
    return SendRecipient(slot, postmaster) == Rcpt::Accepted;
}

} // namespace

Delivery SendMessage(SessionSlot& slot, const Envelope& envelope, QList<QByteArray> message,
                     const std::function<void()>& onAccepted) {
    const QString& smtpServer = slot.Settings.smtpServer;
    const std::optional<QByteArray> host = WireText(smtpServer);
    const std::optional<QByteArray> postmaster = WireText(slot.Settings.postmasterMailbox);
    const auto engineError = [](const QString& description) {
        LogEvent(EventLog::Error, 9010, QStringLiteral("SMTP Engine Error: ") + description);
        return Delivery::Unreachable;
    };
    if (!host || !postmaster)
        return engineError(QStringLiteral("5 Invalid procedure call: the SMTP server or the "
                                          "postmaster address holds a character that cannot "
                                          "be sent"));
    const std::optional<quint16> port = slot.Settings.smtpPort;
    if (!port)
        return engineError(QStringLiteral("13 Type mismatch: SMTP port \"") +
                           slot.Settings.smtpPortText + QLatin1Char('"'));
    const QByteArray from = envelope.Sender.trimmed().isEmpty() ? *postmaster : envelope.Sender;

    if (!slot.SMTP.open(smtpServer, *port))
        return Delivery::Unreachable;
    bool accepted =
        slot.WaitSMTPReply(slot.SMTP.greeting(), "220") &&
        slot.SMTPCommand("HELO " + *host, "250") && slot.SMTPCommand("mail from: " + from, "250") &&
        (envelope.FromHeader ? SendRecipientList(slot, envelope.Recipients, *postmaster)
                             : slot.SMTPCommand("rcpt to: " + envelope.Recipients.value(0), "250"));
    if (accepted) {
        slot.PingSMTP();
        accepted = slot.SMTPCommand("data", "354") &&
                   slot.WaitSMTPDataReply(slot.SendSMTPData(message), "250");
    }
    if (!accepted) {
        // What the server said, if anything, tells a refusal from a server out of reach.
        const Delivery failure =
            slot.SMTPData.isEmpty() ? Delivery::Unreachable : Delivery::Refused;
        slot.ReportSMTPFailure(smtpServer);
        return failure;
    }
    if (onAccepted)
        onAccepted();
    slot.PingSMTP();
    (void)slot.SMTPCommand("quit", "221");
    slot.SMTP.close();
    return Delivery::Accepted;
}
