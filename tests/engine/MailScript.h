#pragma once

// Scenarios of the scripted servers written as the dialogue they check: each client line
// with the server's answer, if any. The "noop"s are left to the servers' answer() rules.

#include "MemoryEventLog.h"
#include "RealTime.h"
#include "ScriptedServer.h"
#include "SessionSlot.h"
#include "TableRow.h"

#include <QTest>
#include <functional>

using Exchange = QList<std::pair<QByteArray, QByteArray>>;

// Stands for the message data in an exchange.
inline const QByteArray MessageMark = "<message>";

inline void Play(ScriptedServer& server, const QByteArray& greeting, const Exchange& exchange) {
    server.reply(greeting);
    for (const auto& [client, answer] : exchange) {
        client == MessageMark ? server.expectMessage() : server.expect(client);
        if (!answer.isEmpty())
            server.reply(answer);
    }
}

// The SMTP dialogue, piece by piece.
inline Exchange Greeted(const QByteArray& from = "x@y.org") {
    return {{"HELO 127.0.0.1", "250 hello"}, {"mail from: " + from, "250 ok"}};
}

inline Exchange Rcpt(const QList<QByteArray>& recipients, const QByteArray& answer = "250 ok") {
    Exchange out;
    for (const QByteArray& r : recipients)
        out.append({"rcpt to: " + r, answer});
    return out;
}

inline const Exchange Quit = {{"quit", "221 bye"}};
inline const Exchange DataAccepted =
    Exchange{{"data", "354 go on"}, {MessageMark, "250 queued"}} + Quit;

// A slot on a clock of 10 ms seconds, an SMTP server and "Administrator" as postmaster.
struct SmtpBench {
    RealTime clock{10};
    RealTimer timer{clock};
    SessionSlot slot{clock};
    ScriptedServer smtp;
    MemoryEventLog log;

    SmtpBench(const char* logMode, const char* timeout) {
        ConfigSettings s;
        s.SmtpServer = QStringLiteral("127.0.0.1");
        s.SmtpPort = QString::number(smtp.port());
        s.PostmasterMailbox = QStringLiteral("Administrator");
        s.LogMode = QString::fromLatin1(logMode);
        s.PopTimeout = s.SmtpTimeout = QString::fromLatin1(timeout);
        slot.Settings = ReadServiceSettings(s);
    }
};
