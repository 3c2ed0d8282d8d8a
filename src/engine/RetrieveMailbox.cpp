#include "RetrieveMailbox.h"

#include "EventLog.h"
#include "HeaderParse.h"
#include "ReadRules.h"
#include "SendMessage.h"
#include "WireText.h"

#include <algorithm>
#include <limits>

namespace {

constexpr quint16 POPPort = 110;
constexpr int ReplySeconds = 10;
constexpr int StallSeconds = 3;
const QByteArray Terminator = "\r\n.\r\n";

void EngineError(const QString& description) {
    LogEvent(EventLog::Error, 9000, QStringLiteral("POP Engine Error: ") + description);
}

// Waits up to ReplySeconds for a reply line.
void AwaitPOPData(SessionSlot& slot) {
    Stopwatch watch(slot.Clock());
    while (slot.POPData.isEmpty() && watch.elapsed() < ReplySeconds && !slot.StopRequested())
        slot.LetEventsRun();
}

// The numeric value of the three characters after "+OK" is 0 for "+OK 0 0" and for a
// bare "+OK".
bool CountIsZero(const QByteArray& reply) {
    return ReadRules::LeadingNumber(QString::fromLatin1(reply.mid(3, 3))) == 0;
}

// The final line may be split over two pieces, or the last piece may be the "." line
// alone: only the end of the whole capture tells.
bool DownloadEnded(const SessionSlot& slot) {
    const QList<QByteArray>& pieces = slot.MessagePieces;
    if (slot.PieceCount == 0)
        return false;
    const QByteArray& first = pieces[0];
    if (first.startsWith("-ERR") && first.contains('\n'))
        return true;
    QByteArray tail;
    for (qsizetype i = slot.PieceCount - 1; i >= 0 && tail.size() < Terminator.size(); --i)
        tail.prepend(pieces[i].right(Terminator.size() - tail.size()));
    return tail == Terminator;
}

struct Account {
    QString host; // MailServer as configured, for the events
    QString address;
    quint16 port = POPPort;
    QByteArray user;
    QByteArray password;
    QByteArray exchangeUser;
};

// Every value that goes into a command, checked before anything is sent: one with a line
// break would inject a command of its own.
std::optional<Account> CheckedAccount(const AccountRecord& record, const ConfigSettings& settings) {
    Account a;
    a.host = record.MailServer;
    const struct {
        QString text;
        QByteArray* bytes;
        const char* what;
    } values[] = {
        {record.MailServer, nullptr, "the POP server name"},
        {record.UserName, &a.user, "the user name"},
        {record.Password, &a.password, "the password"},
        {record.GlobalMailHost ? QString() : record.ExchangeUser, &a.exchangeUser,
         "the Exchange user"},
        {settings.SmtpServer, nullptr, "the SMTP server name"},
        {settings.PostmasterMailbox, nullptr, "the postmaster address"},
    };
    for (const auto& value : values) {
        const std::optional<QByteArray> bytes = WireText(value.text);
        if (!bytes) {
            EngineError(QStringLiteral("5 Invalid procedure call: ") + QLatin1String(value.what) +
                        QStringLiteral(" of the account on ") + VisibleText(record.MailServer) +
                        QStringLiteral(" holds a line break, a NUL or a character that "
                                       "cannot be sent; nothing was sent"));
            return std::nullopt;
        }
        if (value.bytes)
            *value.bytes = *bytes;
    }
    const auto address = POPServerAddress(record.MailServer);
    if (!address) {
        EngineError(QStringLiteral("380 Invalid property value: the port of the POP server ") +
                    record.MailServer);
        return std::nullopt;
    }
    std::tie(a.address, a.port) = *address;
    return a;
}

enum class Outcome { Next, Fail };

// LIST, RETR, prepare, deliver and delete one message.
Outcome HandleMessage(SessionSlot& slot, const AccountRecord& record, const Account& account,
                      int n) {
    const QByteArray number = QByteArray::number(n);
    (void)ListMessageSize(slot, n);
    slot.ClearPieces();
    slot.ReceivedBytes = 0;
    slot.CaptureMode = true;
    if (!slot.POPSocket.sendLine("RETR " + number))
        return Outcome::Fail;
    const bool ended = WaitMessageEnd(slot);
    slot.CaptureMode = false;
    slot.MessagePieces.resize(slot.PieceCount);
    slot.PieceCount = 0;
    const QByteArray firstAsReceived = slot.MessagePieces.value(0);
    // The header search looks at the first three pieces as one text.
    for (int i = 0; i < 2 && slot.MessagePieces.size() > 1; ++i)
        slot.MessagePieces[0] += slot.MessagePieces.takeAt(1);
    if (slot.MessagePieces.isEmpty() || !slot.MessagePieces[0].toLower().contains("+ok")) {
        slot.ClearPieces();
        return Outcome::Next; // refused or nothing came: it stays for the next cycle
    }
    if (!ended) {
        // Delivered, it would arrive truncated and then be deleted: the rest lost.
        LogEvent(EventLog::Warning, 8003,
                 QStringLiteral("Incomplete message from: ") + account.host +
                     QStringLiteral(", message ") + QString::number(n) +
                     QStringLiteral(" ended before its final line; it stays on the server."));
        return Outcome::Fail;
    }
    const std::optional<QByteArray> sender = Prepare(slot, record);
    if (!sender) {
        EngineError(QStringLiteral("9 Subscript out of range: more than %1 recipients")
                        .arg(SessionSlot::MaxRecipients));
        return Outcome::Fail;
    }
    if (firstAsReceived.trimmed().isEmpty()) {
        slot.ClearPieces();
        return Outcome::Next;
    }
    slot.SetPOPAlive(true);
    slot.SetSMTPAlive(false);
    const bool delivered = SendMessage(slot, slot.Settings.SmtpServer, slot.Settings.SmtpPort,
                                       *sender, account.exchangeUser, record.GlobalMailHost);
    Outcome outcome = Outcome::Next;
    if (delivered) {
        slot.FlushPOP();
        if (!record.KeepMailOnHost &&
            !(slot.POPSocket.sendLine("dele " + number) && slot.WaitPOPReply("+OK")))
            outcome = Outcome::Fail;
    }
    slot.SetSMTPAlive(true);
    slot.SetPOPAlive(false);
    return outcome;
}

} // namespace

std::optional<std::pair<QString, quint16>> POPServerAddress(const QString& text) {
    // A bare IPv6 address has colons of its own; "[address]:port" gives it a port.
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    const bool bracketed = text.startsWith(QLatin1Char('['));
    if (colon < 0 || (!bracketed && text.indexOf(QLatin1Char(':')) != colon) ||
        (bracketed && text.at(colon - 1) != QLatin1Char(']')))
        return std::pair{bracketed ? text.mid(1, text.size() - 2) : text, POPPort};
    const std::optional<quint16> port = PortNumber(text.mid(colon + 1));
    if (!port)
        return std::nullopt;
    const QString host = bracketed ? text.mid(1, colon - 2) : text.left(colon);
    return std::pair{host, *port};
}

QByteArray ReadStatCount(SessionSlot& slot) {
    AwaitPOPData(slot);
    const QByteArray reply = std::exchange(slot.POPData, {});
    if (reply.left(3).trimmed() != "+OK")
        return "-1";
    if (CountIsZero(reply))
        return "0";
    const qsizetype blank = reply.indexOf(' ');
    const qsizetype next = reply.indexOf(' ', blank + 1);
    return reply.mid(blank + 1, next < 0 ? -1 : next - blank);
}

qint64 ListMessageSize(SessionSlot& slot, int n) {
    slot.POPData.clear();
    if (!slot.POPSocket.sendLine("LIST " + QByteArray::number(n)))
        return -1;
    AwaitPOPData(slot);
    const QByteArray reply = std::exchange(slot.POPData, {}).trimmed();
    if (!reply.startsWith("+OK"))
        return -1;
    if (CountIsZero(reply))
        return 0;
    const QList<QByteArray> fields = reply.simplified().split(' ');
    return fields.size() < 3 ? 0 : qint64(ReadRules::LeadingNumber(QString::fromLatin1(fields[2])));
}

bool WaitMessageEnd(SessionSlot& slot) {
    const RealTime& clock = slot.Clock();
    const double timeout = ReadRules::LeadingNumber(slot.Settings.PopTimeout);
    const auto connected = [&slot] {
        return slot.POPSocket.state() == SessionSocket::State::Connected;
    };
    Stopwatch watch(clock);
    slot.ReceivedBytes = 0;
    slot.LastReceiveTime = clock.now();
    while (slot.POPData.isEmpty() && connected() && !(timeout < watch.elapsed()) &&
           !slot.StopRequested())
        slot.LetEventsRun();
    bool ended = DownloadEnded(slot);
    while (!ended && connected() && !slot.StopRequested()) {
        const qint32 now = clock.now();
        if (now < slot.LastReceiveTime)
            slot.LastReceiveTime = now;
        if (now - slot.LastReceiveTime > StallSeconds)
            break;
        slot.LetEventsRun();
        ended = DownloadEnded(slot);
    }
    slot.ReceivedBytes = 0;
    return ended;
}

bool RetrieveMailbox(SessionSlot& slot, const AccountRecord& record) {
    const std::optional<Account> account = CheckedAccount(record, slot.Settings);
    if (!account)
        return false;
    const auto end = [&slot] {
        slot.CaptureMode = false;
        slot.ClearPieces();
        slot.SetPOPAlive(false);
        slot.SetSMTPAlive(false);
    };
    const auto fail = [&] {
        end();
        slot.ReportPOPFailure(account->host);
        return false;
    };
    const auto command = [&slot](const QByteArray& line) {
        return slot.POPSocket.sendLine(line) && slot.WaitPOPReply("+OK");
    };

    slot.POPData.clear();
    if (!slot.POPSocket.open(account->address, account->port) || !slot.WaitPOPReply("+OK") ||
        !command("USER " + account->user) || !command("PASS " + account->password) ||
        !slot.POPSocket.sendLine("STAT"))
        return fail();
    const double count = ReadRules::LeadingNumber(QString::fromLatin1(ReadStatCount(slot)));
    if (count > 0) {
        slot.FlushPOP();
        const int last = int(std::min<double>(count, std::numeric_limits<int>::max()));
        for (int n = 1; n <= last; ++n) {
            if (slot.StopRequested() || HandleMessage(slot, record, *account, n) == Outcome::Fail)
                return fail();
        }
    }
    end();
    slot.FlushPOP();
    if (slot.POPSocket.sendLine("quit"))
        (void)slot.WaitPOPReply("+OK");
    slot.POPSocket.close();
    return true;
}
