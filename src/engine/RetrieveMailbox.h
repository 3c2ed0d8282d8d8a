#pragma once

// One POP3 session for one account: log in, count the waiting messages, download each,
// prepare it, relay it over SMTP and delete it from the server once the SMTP server has
// accepted it (unless the account keeps its mail there), log out.

#include "ConfigModel.h"
#include "SessionSlot.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The whole mailbox of account on slot, with the service settings in slot.Settings. True
// when the session reached its normal end, whether or not every message was delivered;
// false when the connection or the session failed (its events tell why).
[[nodiscard]] bool RetrieveMailbox(SessionSlot& slot, const AccountRecord& account);

// The message count from the reply to STAT: its text, "0", or "-1" without "+OK".
[[nodiscard]] QByteArray ReadStatCount(const QByteArray& reply);

// The capabilities a CAPA reply lists, by their names in upper case.
[[nodiscard]] QList<QByteArray> Capabilities(const SessionSlot::Reply& reply);

// The POP3 server as MailServer names it, and how its session is protected:
//   "host", "host:port"              plain, upgraded with STLS when CAPA lists it (110)
//   "host:995", "pop3s://host[:port]" TLS from the first byte (995)
//   "pop3://host[:port]"             never TLS (110)
// An IPv6 host is written in brackets when a port follows: "[::1]:995".
struct POPServer {
    enum class Security { STLSWhenOffered, ImplicitTLS, Plain };
    QString host;
    quint16 port = 110;
    Security security = Security::STLSWhenOffered;
    bool operator==(const POPServer&) const = default;
};

// nullopt for an empty host, or a port that is not a number from 1 to 65535.
[[nodiscard]] std::optional<POPServer> POPServerAddress(const QString& text);
