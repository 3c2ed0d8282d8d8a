#pragma once

// Scenarios of the scripted servers written as the dialogue they check: each client line
// with the server's answer. A "noop" with no answer is left to the server's answer() rule.

#include "ScriptedServer.h"

using Exchange = QList<std::pair<QByteArray, QByteArray>>;

// Stands for the message data in an exchange.
inline const QByteArray MessageMark = "<message>";

inline void Play(ScriptedServer& server, const QByteArray& greeting, const Exchange& exchange) {
    server.reply(greeting);
    for (const auto& [client, answer] : exchange) {
        if (client == MessageMark)
            server.expectMessage();
        else if (!answer.isEmpty())
            server.expect(client);
        if (!answer.isEmpty())
            server.reply(answer);
    }
}
