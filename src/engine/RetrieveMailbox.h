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
[[nodiscard]] QByteArray ReadStatCount(SessionSlot& slot);
// Sends "LIST n"; the size from the reply, 0 or -1 as for STAT.
[[nodiscard]] qint64 ListMessageSize(SessionSlot& slot, int n);
// Waits for the download of RETR to end; true when it ended with its final "." line (or
// was a one-line error reply), false when it stalled or the connection closed first.
[[nodiscard]] bool WaitMessageEnd(SessionSlot& slot);

// "host" or "host:port" as MailServer holds it; port 110 when none is given. nullopt for
// a port that is not a number from 1 to 65535.
[[nodiscard]] std::optional<std::pair<QString, quint16>> POPServerAddress(const QString& text);
