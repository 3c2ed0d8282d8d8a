#pragma once

// A downloaded message made ready for relaying: the POP3 reply lines cut off, the
// envelope sender chosen and, for a domain mailbox, the recipients found in its header.

#include "ConfigModel.h"

#include <QByteArray>
#include <QList>
#include <optional>

class SessionSlot;

struct PreparedMessage {
    QByteArray Message;           // the text to relay, from its first header line on
    QByteArray Sender;            // the envelope sender
    QList<QByteArray> Recipients; // for a domain mailbox only
    bool FieldMissing = false;    // a "<" without a later ">" ended the search
    bool TooManyRecipients = false;
};

// text is the download as received, joined into one piece.
[[nodiscard]] PreparedMessage PrepareMessage(const QByteArray& text, const AccountRecord& account,
                                             const ConfigSettings& settings);

// A bare address fit for the envelope: one "@", one ".", nothing of quotes, brackets,
// colons, blanks or control characters.
[[nodiscard]] bool IsPlainAddress(QByteArrayView text);

// Prepares piece 0 of the slot in place, flushes the POP3 connection and fills the
// slot's RecipientList. Returns the envelope sender; nullopt when the recipients
// overflow the list (an internal failure of the session).
[[nodiscard]] std::optional<QByteArray> Prepare(SessionSlot& slot, const AccountRecord& account);
