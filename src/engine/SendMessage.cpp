#include "SendMessage.h"

#include "EventLog.h"
#include "ReadRules.h"
#include "WireText.h"

#include <utility>

namespace {

// What may wait in the socket's buffer: the message is handed over piece by piece, so
// that a large one is never held twice.
constexpr qint64 SendBacklog = 1 << 20;

enum class Rcpt { Accepted, Refused, Failed };

Rcpt SendRecipient(SessionSlot& slot, const QByteArray& address) {
    if (!slot.SMTPSocket.sendLine("rcpt to: " + address))
        return Rcpt::Failed;
    if (slot.WaitSMTPReply("250"))
        return Rcpt::Accepted;
    // A 4xx (try later) fails the delivery, so that nobody gets the message twice.
    return slot.LastSMTPReply().startsWith('5') ? Rcpt::Refused : Rcpt::Failed;
}

// A domain mailbox's header also yields addresses that are no mailbox (a Message-ID at
// the remote domain): one refusal must not keep the message from the others.
bool SendRecipientList(SessionSlot& slot, const QString& smtpServer, const QByteArray& postmaster) {
    const QList<QByteArray> list = std::exchange(slot.RecipientList, {});
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
                     QStringLiteral("Recipient refused by: ") + smtpServer +
                         QStringLiteral(", the message is not delivered to ") +
                         QString::fromLatin1(address) + QStringLiteral(": ") +
                         QString::fromLatin1(slot.LastSMTPReply().trimmed()));
            break;
        case Rcpt::Failed:
            return false;
        }
    }
    if (anyAccepted || !anyRefused)
        return true;
    return SendRecipient(slot, postmaster) == Rcpt::Accepted;
}

bool SendPieces(SessionSlot& slot) {
    for (QByteArray& piece : slot.MessagePieces) {
        if (!slot.AwaitSMTPSend(SendBacklog) || !slot.SMTPSocket.send(piece))
            return false;
        piece = QByteArray(); // the socket holds what is still to go
    }
    return true;
}

} // namespace

bool SendMessage(SessionSlot& slot, const QString& smtpServer, const QString& smtpPort,
                 const QByteArray& sender, const QByteArray& recipient, bool useList) {
    const auto clear = [&slot] {
        slot.ClearPieces();
        slot.RecipientList.clear();
        slot.SMTPData.clear();
    };
    const auto engineError = [&clear](const QString& description) {
        clear();
        LogEvent(EventLog::Error, 9010, QStringLiteral("SMTP Engine Error: ") + description);
        return false;
    };
    const std::optional<QByteArray> host = WireText(smtpServer);
    const std::optional<QByteArray> postmaster = WireText(slot.Settings.PostmasterMailbox);
    if (!host || !postmaster)
        return engineError(QStringLiteral("5 Invalid procedure call: the SMTP server or the "
                                          "postmaster address holds a character that cannot "
                                          "be sent"));
    const std::optional<quint16> port = PortNumber(ReadRules::TrimSpaces(smtpPort));
    if (!port)
        return engineError(QStringLiteral("13 Type mismatch: SMTP port \"") + smtpPort +
                           QLatin1Char('"'));
    const QByteArray from = sender.trimmed().isEmpty() ? *postmaster : sender;

    if (!slot.SMTPSocket.open(smtpServer, *port)) {
        clear();
        return false;
    }
    SessionSocket& socket = slot.SMTPSocket;
    const auto command = [&](const QByteArray& line, const QByteArray& code) {
        return socket.sendLine(line) && slot.WaitSMTPReply(code);
    };
    bool accepted = slot.WaitSMTPReply("220") && command("HELO " + *host, "250") &&
                    command("mail from: " + from, "250") &&
                    (useList ? SendRecipientList(slot, smtpServer, *postmaster)
                             : command("rcpt to: " + recipient, "250"));
    if (accepted) {
        slot.PingSMTP();
        accepted = command("data", "354") && SendPieces(slot) && slot.WaitSMTPDataReply("250");
    }
    clear();
    if (!accepted) {
        slot.ReportSMTPFailure(smtpServer);
        return false;
    }
    slot.PingSMTP();
    if (socket.sendLine("quit"))
        (void)slot.WaitSMTPReply("221");
    socket.close();
    return true;
}
