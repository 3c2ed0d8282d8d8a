#include "RetrieveMailbox.h"

#include "DeliveredList.h"
#include "EventLog.h"
#include "Folders.h"
#include "HeaderParse.h"
#include "OncePerAccount.h"
#include "PopTls.h"
#include "ReadRules.h"
#include "SendMessage.h"
#include "WireText.h"

#include <QHash>
#include <algorithm>
#include <functional>
#include <limits>

namespace {

using Ticket = SessionSlot::Ticket;
using Shape = SessionSlot::Shape;

constexpr quint16 POPPort = 110;
constexpr quint16 POP3SPort = 995;
// The header search wants the header block in one piece; a longer one is searched as far
// as this.
constexpr qsizetype MaxHeaderBytes = 1 << 20;

void EngineError(const QString& description) {
    LogEvent(EventLog::Error, 9000, QStringLiteral("POP Engine Error: ") + description);
}

struct Account {
    QString host; // MailServer as configured, for the events
    POPServer server;
    QByteArray user;
    QByteArray password;
    QByteArray exchangeUser;
    QByteArray postmaster;
};

// Every value that goes into a command, checked before anything is sent: one with a line
// break would inject a command of its own.
std::optional<Account> CheckedAccount(const AccountRecord& record,
                                      const ServiceSettings& settings) {
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
        {settings.smtpServer, nullptr, "the SMTP server name"},
        {settings.postmasterMailbox, &a.postmaster, "the postmaster address"},
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
    const std::optional<POPServer> server = POPServerAddress(record.MailServer);
    if (!server) {
        EngineError(QStringLiteral("380 Invalid property value: the host or port of the POP "
                                   "server ") +
                    record.MailServer);
        return std::nullopt;
    }
    a.server = *server;
    return a;
}

// The numeric value of the three characters after "+OK" is 0 for "+OK 0 0" and for a
// bare "+OK".
bool CountIsZero(const QByteArray& reply) {
    return ReadRules::LeadingNumber(QString::fromLatin1(reply.mid(3, 3))) == 0;
}

// LIST n and RETR n. Where the server pipelines they go out together; otherwise RETR
// waits for the reply to LIST (whose size is not used).
struct Request {
    std::optional<Ticket> list;
    std::optional<Ticket> retr;
};

Request RequestMessage(SessionSlot& slot, int n) {
    const QByteArray number = QByteArray::number(n);
    Request r{slot.POP.send("LIST " + number), std::nullopt};
    if (r.list && !slot.POP.Pipelining)
        (void)slot.AwaitReply(slot.POP, *std::exchange(r.list, std::nullopt),
                              SessionSlot::ShortReplySeconds);
    r.retr = slot.POP.send("RETR " + number, Shape::Message);
    return r;
}

// Joins the first pieces until piece 0 holds the whole header block.
void JoinHeader(QList<QByteArray>& pieces) {
    qsizetype scanned = 4; // the end of the header block is looked for behind "+OK"
    while (pieces.size() > 1 && pieces[0].size() < MaxHeaderBytes &&
           pieces[0].indexOf("\r\n\r\n", scanned) < 0) {
        scanned = std::max<qsizetype>(pieces[0].size() - 3, 4);
        pieces[0] += pieces.takeAt(1);
    }
}

enum class Outcome {
    Delivered,
    NotDelivered, // refused by either server: it stays for the next cycle
    SMTPDown,     // the SMTP server could not be reached: the others would fail alike
    Fail
};

// Downloads, prepares and relays message n.
// onAccepted runs the moment the SMTP server has accepted it.
Outcome HandleMessage(SessionSlot& slot, const AccountRecord& record, const Account& account, int n,
                      const Request& request, const std::function<void()>& onAccepted) {
    if (request.list)
        (void)slot.AwaitReply(slot.POP, *request.list, SessionSlot::ShortReplySeconds);
    if (!request.retr)
        return Outcome::Fail;
    std::optional<SessionSlot::Reply> download = slot.AwaitMessage(*request.retr);
    if (!download) {
        if (!slot.POP.begun(*request.retr))
            slot.ReportNoAnswer(slot.POP, *request.retr);
        else if (!slot.StopRequested())
            // Delivered, it would arrive truncated and then be deleted: the rest lost.
            LogEvent(EventLog::Warning, 8003,
                     QStringLiteral("Incomplete message from: ") + account.host +
                         QStringLiteral(", message ") + QString::number(n) +
                         QStringLiteral(" ended before its final line; it stays on the "
                                        "server."));
        return Outcome::Fail;
    }
    if (!download->startsWith("+OK"))
        return Outcome::NotDelivered;
    QList<QByteArray> message = std::move(download->pieces);
    JoinHeader(message);
    slot.FlushPOP();
    PreparedMessage prepared = PrepareMessage(message[0], record, slot.Settings);
    if (prepared.FieldMissing)
        LogEvent(EventLog::Error, 8100,
                 QStringLiteral("POP Error: Can't find field, this can occur if this piece of "
                                "mail was sent only to a BCC OR the account is a global POP "
                                "account and the setting is set for a single account in the "
                                "Setup Dialog"));
    if (prepared.Recipients.size() > MaxRecipients) {
        // Kept back, it would block the mailbox in every cycle; nothing is lost this way.
        LogEvent(EventLog::Warning, 8006,
                 QStringLiteral("Too many recipients in message %1 from: %2, %3 addresses; it "
                                "goes to the postmaster alone.")
                     .arg(n)
                     .arg(account.host)
                     .arg(prepared.Recipients.size()));
        prepared.Recipients = {account.postmaster};
    }
    message[0] = std::move(prepared.Message);
    const Envelope envelope{prepared.Sender,
                            record.GlobalMailHost ? prepared.Recipients
                                                  : QList<QByteArray>{account.exchangeUser},
                            record.GlobalMailHost};
    // The idle POP3 connection is kept alive while the message goes out over SMTP.
    slot.SetPOPAlive(true);
    slot.SetSMTPAlive(false);
    const Delivery delivery = SendMessage(slot, envelope, std::move(message), onAccepted);
    slot.SetSMTPAlive(true);
    slot.SetPOPAlive(false);
    switch (delivery) {
    case Delivery::Accepted:
        return Outcome::Delivered;
    case Delivery::Refused:
        return Outcome::NotDelivered;
    case Delivery::Unreachable:
        break;
    }
    return Outcome::SMTPDown;
}

// The unique ID of each message number in a UIDL reply. An ID the server gives to two
// messages tells neither apart, so both go without one, as do lines that are no ID.
QHash<int, QByteArray> UniqueIDs(const SessionSlot::Reply& reply) {
    QHash<int, QByteArray> byNumber;
    QHash<QByteArray, int> seen;
    const QList<QByteArray> lines = reply.text().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].trimmed().split(' ');
        bool numeric = false;
        const int n = fields.value(0).toInt(&numeric);
        if (fields.size() != 2 || !numeric || n < 1 || !DeliveredList::ValidID(fields[1]))
            continue;
        if (++seen[fields[1]] == 1)
            byNumber.insert(n, fields[1]);
    }
    byNumber.removeIf([&seen](auto it) { return seen.value(it.value()) > 1; });
    return byNumber;
}

void WarnNoUniqueIDs(const AccountRecord& record) {
    if (!FirstTimeFor("UIDL", record))
        return;
    LogEvent(EventLog::Warning, 8022,
             QStringLiteral("No unique IDs from: ") + record.MailServer + QStringLiteral(" for ") +
                 record.UserName +
                 (record.KeepMailOnHost
                      ? QStringLiteral(", the server refuses UIDL: the messages kept on it are "
                                       "delivered again in every cycle.")
                      : QStringLiteral(", the server refuses UIDL: a message is delivered "
                                       "again when a session breaks off after its delivery.")));
}

} // namespace

std::optional<POPServer> POPServerAddress(const QString& text) {
    using Security = POPServer::Security;
    static const struct {
        QLatin1StringView scheme;
        Security security;
        quint16 port;
    } schemes[] = {{QLatin1StringView("pop3s://"), Security::ImplicitTLS, POP3SPort},
                   {QLatin1StringView("pop3://"), Security::Plain, POPPort}};
    POPServer server;
    QString rest = text;
    bool schemed = false;
    for (const auto& s : schemes) {
        if (text.startsWith(s.scheme, Qt::CaseInsensitive)) {
            rest = text.mid(s.scheme.size());
            server.security = s.security;
            server.port = s.port;
            schemed = true;
            break;
        }
    }
    // A bare IPv6 address has colons of its own; "[address]:port" gives it a port.
    std::optional<QString> port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        const QString after = rest.mid(close + 1);
        if (close < 0 || !(after.isEmpty() || after.startsWith(QLatin1Char(':'))))
            return std::nullopt;
        server.host = rest.mid(1, close - 1);
        if (!after.isEmpty())
            port = after.mid(1);
    } else if (rest.count(QLatin1Char(':')) == 1) {
        server.host = rest.section(QLatin1Char(':'), 0, 0);
        port = rest.section(QLatin1Char(':'), 1);
    } else {
        server.host = rest;
    }
    if (server.host.isEmpty())
        return std::nullopt;
    if (port) {
        const std::optional<quint16> number = ReadRules::PortNumber(*port);
        if (!number)
            return std::nullopt;
        server.port = *number;
        if (!schemed && *number == POP3SPort)
            server.security = Security::ImplicitTLS;
    }
    return server;
}

QByteArray ReadStatCount(const QByteArray& reply) {
    if (reply.left(3).trimmed() != "+OK")
        return "-1";
    if (CountIsZero(reply))
        return "0";
    const qsizetype blank = reply.indexOf(' ');
    const qsizetype next = reply.indexOf(' ', blank + 1);
    return reply.mid(blank + 1, next < 0 ? -1 : next - blank);
}

QList<QByteArray> Capabilities(const SessionSlot::Reply& reply) {
    QList<QByteArray> names;
    if (!reply.startsWith("+OK"))
        return names;
    QList<QByteArray> lines = reply.text().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray name = lines[i].trimmed().split(' ').value(0).toUpper();
        if (!name.isEmpty() && name != ".")
            names.append(name);
    }
    return names;
}

bool RetrieveMailbox(SessionSlot& slot, const AccountRecord& record) {
    slot.POPEncryption.clear();
    const std::optional<Account> account = CheckedAccount(record, slot.Settings);
    if (!account)
        return false;
    MailConnection& pop = slot.POP;
    int delivered = 0;
    bool deleted = false; // a "dele" went out, which only "quit" commits
    // Ends the session: "quit" commits the deletions, even on the way out of a stop. A
    // failed POP3 session gets the failure report instead; with the SMTP server out of
    // reach it ends as usual, but not as a success.
    enum class Ending { Normal, POPFailed, SMTPDown };
    const auto end = [&](Ending ending) {
        slot.SetPOPAlive(false);
        slot.SetSMTPAlive(false);
        if (ending == Ending::POPFailed && !slot.StopRequested()) {
            slot.ReportPOPFailure(account->host);
            return false;
        }
        if (pop.connected()) {
            // After a stop the answer is awaited only when there are deletions to commit.
            std::optional<SessionSlot::Wrapup> wrapup;
            if (deleted)
                wrapup.emplace(slot);
            slot.FlushPOP();
            (void)slot.POPCommand("quit", "+OK");
        }
        pop.close();
        if (!slot.StopRequested())
            return ending == Ending::Normal;
        LogEvent(EventLog::Information, 1003,
                 QStringLiteral("Mail session on %1 ended by the service stop: %2 message(s) "
                                "delivered, the rest wait for the next cycle.")
                     .arg(account->host)
                     .arg(delivered));
        return false;
    };
    const int popTimeout = slot.Settings.popTimeout;

    const POPServer& server = account->server;
    const bool implicitTls = server.security == POPServer::Security::ImplicitTLS;
    if (!pop.open(server.host, server.port, implicitTls))
        return end(Ending::POPFailed);
    if (implicitTls && !AwaitPOPTls(slot, account->host))
        return false;
    if (!slot.WaitPOPReply(pop.greeting(), "+OK"))
        return end(Ending::POPFailed);
    const auto askCapabilities = [&] {
        QList<QByteArray> names;
        if (const std::optional<Ticket> capa = pop.send("CAPA", Shape::Lines)) {
            const std::optional<SessionSlot::Reply> reply = slot.AwaitReply(pop, *capa, popTimeout);
            names = reply ? Capabilities(*reply) : names;
        }
        pop.Pipelining = names.contains("PIPELINING");
        return names;
    };
    const QList<QByteArray> capabilities = askCapabilities();
    if (server.security == POPServer::Security::STLSWhenOffered) {
        // After the upgrade the server may list other capabilities.
        if (capabilities.contains("STLS")) {
            if (!UpgradePOP(slot, account->host))
                return false;
            (void)askCapabilities();
        } else {
            WarnUnencryptedLogin(record);
        }
    }
    slot.POPEncryption = pop.Socket.tlsVersion();
    if (!slot.POPCommand("USER " + account->user, "+OK") ||
        !slot.POPCommand("PASS " + account->password, "+OK"))
        return end(Ending::POPFailed);
    const std::optional<Ticket> stat = pop.send("STAT");
    const std::optional<SessionSlot::Reply> statReply =
        stat ? slot.AwaitReply(pop, *stat, SessionSlot::ShortReplySeconds) : std::nullopt;
    if (!statReply) {
        if (stat)
            slot.ReportNoAnswer(pop, *stat);
        return end(Ending::POPFailed);
    }
    const double count =
        ReadRules::LeadingNumber(QString::fromLatin1(ReadStatCount(statReply->text())));
    if (count == 0) {
        // Nothing left on the server: neither is anything on the list.
        if (std::optional<DeliveredList> list = DeliveredList::Load(Folders::State(), record))
            list->keepOnly({});
    }
    if (count > 0) {
        const int last = int(std::min<double>(count, std::numeric_limits<int>::max()));
        // Where the server gives unique IDs, what was delivered before is known: kept mail
        // is left alone, and a deletion lost with a broken session is made up.
        const std::optional<Ticket> uidl = pop.send("UIDL", Shape::Lines);
        const std::optional<SessionSlot::Reply> uidlReply =
            uidl ? slot.AwaitReply(pop, *uidl, popTimeout) : std::nullopt;
        if (!uidlReply) {
            if (uidl)
                slot.ReportNoAnswer(pop, *uidl);
            return end(Ending::POPFailed);
        }
        QHash<int, QByteArray> ids;
        std::optional<DeliveredList> list;
        if (uidlReply->startsWith("+OK")) {
            ids = UniqueIDs(*uidlReply);
            list = DeliveredList::Load(Folders::State(), record);
            if (list)
                list->keepOnly(QSet<QByteArray>(ids.cbegin(), ids.cend()));
        } else {
            WarnNoUniqueIDs(record);
        }
        QList<int> fetch;
        QList<int> deliveredBefore;
        for (int n = 1; n <= last; ++n) {
            const bool known = list && list->contains(ids.value(n));
            if (!known)
                fetch.append(n);
            else if (!record.KeepMailOnHost)
                deliveredBefore.append(n);
        }
        // Their deletions go out together where the server pipelines.
        QList<Ticket> deletions;
        for (const int n : deliveredBefore) {
            const std::optional<Ticket> dele = pop.send("dele " + QByteArray::number(n));
            deleted = deleted || dele.has_value();
            if (!dele || (!pop.Pipelining && !slot.WaitPOPReply(dele, "+OK")))
                return end(Ending::POPFailed);
            if (pop.Pipelining)
                deletions.append(*dele);
        }
        for (const Ticket dele : deletions) {
            if (!slot.WaitPOPReply(dele, "+OK"))
                return end(Ending::POPFailed);
        }
        slot.FlushPOP();
        std::optional<Request> ahead;
        for (qsizetype i = 0; i < fetch.size() && !slot.StopRequested(); ++i) {
            const int n = fetch[i];
            const bool more = i + 1 < fetch.size();
            const Request request =
                ahead ? *std::exchange(ahead, std::nullopt) : RequestMessage(slot, n);
            // The ID goes on the list before anything else happens: a session cut off after
            // this point never delivers the message again.
            const auto remember = [&list, id = ids.value(n)] {
                if (list && !id.isEmpty())
                    list->add(id);
            };
            const Outcome outcome = HandleMessage(slot, record, *account, n, request, remember);
            if (outcome == Outcome::Fail || outcome == Outcome::SMTPDown)
                return end(outcome == Outcome::Fail ? Ending::POPFailed : Ending::SMTPDown);
            if (outcome != Outcome::Delivered) {
                if (pop.Pipelining && more)
                    ahead = RequestMessage(slot, fetch[i + 1]);
                continue;
            }
            ++delivered;
            // Accepted by the SMTP server: its deletion goes out even if a stop came.
            const SessionSlot::Wrapup wrapup(slot);
            slot.FlushPOP();
            std::optional<Ticket> dele;
            if (!record.KeepMailOnHost && !(dele = pop.send("dele " + QByteArray::number(n))))
                return end(Ending::POPFailed);
            deleted = deleted || dele.has_value();
            // The next message's commands go out with the noop and "dele"; the reply to
            // "dele" still comes first, and a failure leaves the rest unread.
            if (pop.Pipelining && more && !slot.StopRequested())
                ahead = RequestMessage(slot, fetch[i + 1]);
            if (dele && !slot.WaitPOPReply(dele, "+OK"))
                return end(Ending::POPFailed);
        }
    }
    return end(Ending::Normal);
}
