#pragma once

// One SMTP session that relays one downloaded message: HELO, "mail from:", "rcpt to:"
// for each recipient, "data", the message exactly as downloaded, "quit".

#include "SessionSlot.h"

#include <QByteArray>
#include <QList>
#include <functional>

struct Envelope {
    QByteArray Sender; // blank: the postmaster address takes its place
    QList<QByteArray> Recipients;
    // A domain mailbox's recipients come from the header: a recipient the server
    // refuses for good (5xx) is skipped, and when it accepts none, the postmaster is
    // tried. Otherwise the one recipient must be accepted.
    bool FromHeader = false;
};

enum class Delivery {
    Accepted,   // the server answered the end of the data with "250"
    Refused,    // the server answered, with another code
    Unreachable // no connection, no answer in time, or the connection was lost
};

// Relays message (consumed: each piece is freed as it is handed over) to the SMTP server
// of slot.Settings. onAccepted runs the moment the server has answered the end of the data
// with "250", before the SMTP session is closed: what must be remembered of a delivery is
// written there, so that nothing but that one reply lies between delivery and record.
[[nodiscard]] Delivery SendMessage(SessionSlot& slot, const Envelope& envelope,
                                   QList<QByteArray> message,
                                   const std::function<void()>& onAccepted = {});
