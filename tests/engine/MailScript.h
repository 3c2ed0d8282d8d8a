#pragma once

// Scenarios of the scripted servers written as the dialogue they check: each client line
// with the server's answer. A "noop" with no answer is left to the server's answer() rule,
// however often the client sends it; runs of "noop" count as one.

#include "ScriptedServer.h"

using Exchange = QList<std::pair<QByteArray, QByteArray>>;

// Stands for the message data in an exchange.
inline const QByteArray MessageMark = "<message>";

inline QList<QByteArray> CollapsedNoops(const QList<QByteArray>& lines) {
    QList<QByteArray> out;
    for (const QByteArray& line : lines) {
        if (line != "noop" || out.value(out.size() - 1) != "noop")
            out.append(line);
    }
    return out;
}

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
