#pragma once

// A downloaded message made ready for relaying: the POP3 reply lines cut off, the
// envelope sender chosen and, for a domain mailbox, the recipients found in its header.

#include "ConfigModel.h"
#include "ServiceSettings.h"

#include <QByteArray>
#include <QList>
#include <optional>

// A message with more recipients than this is not sorted to them.
inline constexpr int MaxRecipients = 1001;

struct PreparedMessage {
    QByteArray Message;           // the text to relay, from its first header line on
    QByteArray Sender;            // the envelope sender
    QList<QByteArray> Recipients; // for a domain mailbox only
    bool FieldMissing = false;    // a "<" without a later ">" ended the search
};

// text is the download as received, joined into one piece.
[[nodiscard]] PreparedMessage PrepareMessage(const QByteArray& text, const AccountRecord& account,
                                             const ServiceSettings& settings);

// A bare address fit for the envelope: one "@", one ".", nothing of quotes, brackets,
// colons, blanks or control characters.
[[nodiscard]] bool IsPlainAddress(QByteArrayView text);
