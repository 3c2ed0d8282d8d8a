#pragma once

// One SMTP session that relays the message in the slot's piece store: HELO, "mail from:",
// "rcpt to:" for each recipient, "data", the pieces exactly as downloaded, "quit".

#include "SessionSlot.h"

#include <QByteArray>
#include <QString>

// True only when the server answered the end of the message data with "250". useList
// takes the recipients from the slot's RecipientList instead of recipient; a recipient
// of the list that the server refuses for good (5xx) is skipped, and when it accepts
// none, the slot's PostmasterMailbox is tried. The pieces and the list are emptied in
// every case.
[[nodiscard]] bool SendMessage(SessionSlot& slot, const QString& smtpServer,
                               const QString& smtpPort, const QByteArray& sender,
                               const QByteArray& recipient, bool useList);
