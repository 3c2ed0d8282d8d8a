#pragma once

// Scenarios of the scripted servers written as the dialogue they check: each client line
// with the server's answer, if any. The "noop"s are left to the servers' answer() rules.

#include "MemoryEventLog.h"
#include "RealTime.h"
#include "ScriptedServer.h"
#include "SessionSlot.h"

#include <QTest>
#include <functional>

// A table row: its check with the row's data bound in.
using Check = std::function<void()>;
Q_DECLARE_METATYPE(Check)

inline void RunRow() {
    QFETCH(Check, check);
    check();
}

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
