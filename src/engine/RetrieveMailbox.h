#pragma once

// One POP3 session for one account: log in, count the waiting messages, download each,
// prepare it, relay it over SMTP and delete it from the server once the SMTP server has
// accepted it (unless the account keeps its mail there), log out.

#include "ConfigModel.h"
#include "SessionSlot.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>

// The whole mailbox of account on slot, with the service settings in slot.Settings. True
// when the session reached its normal end, whether or not every message was delivered;
// false when the connection or the session failed (its events tell why).
[[nodiscard]] bool RetrieveMailbox(SessionSlot& slot, const AccountRecord& account);

// The message count from the reply to STAT: its text, "0", or "-1" without "+OK".
[[nodiscard]] QByteArray ReadStatCount(const QByteArray& reply);

// The capabilities a CAPA reply lists, by their names in upper case.
[[nodiscard]] QList<QByteArray> Capabilities(const SessionSlot::Reply& reply);

// "host" or "host:port" as MailServer holds it; port 110 when none is given. nullopt for
// a port that is not a number from 1 to 65535.
[[nodiscard]] std::optional<std::pair<QString, quint16>> POPServerAddress(const QString& text);
