#pragma once

// The TLS steps of a POP3 session: the handshake, with the upgrade by STLS, and the
// warning for a login that goes out in plain text. Nothing of the login is sent unless
// the handshake succeeded; there is no fall-back to plain text.

#include "ConfigModel.h"
#include "SessionSlot.h"

// Waits, within the POP time-out, for the handshake that slot.POP has started. When it
// fails: error event 8020 naming host and the reason, the connection closed, false. When
// the connection itself failed first: the session failure report, false.
[[nodiscard]] bool AwaitPOPTls(SessionSlot& slot, const QString& host);

// "STLS" and, after its "+OK", the handshake. False, and the connection closed, when the
// server refuses STLS (event 8020 after 7200) or the handshake fails.
[[nodiscard]] bool UpgradePOP(SessionSlot& slot, const QString& host);

// Warning 8021, the first time this process logs in to the account without TLS.
void WarnUnencryptedLogin(const AccountRecord& account);
