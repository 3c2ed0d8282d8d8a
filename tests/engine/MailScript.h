#pragma once

// Scenarios of the scripted servers written as the dialogue they check: each client line
// with the server's answer. A "noop" with no answer is answered by the server's answer()
// rule, however often the client sends it; runs of "noop" count as one.

#include "ScriptedServer.h"

#include <QByteArray>
#include <QList>
#include <utility>

using Exchange = QList<std::pair<QByteArray, QByteArray>>;

// Stands for the message data in an exchange.
inline const QByteArray MessageMark = "<message>";

inline QList<QByteArray> CollapsedNoops(const QList<QByteArray>& lines) {
    QList<QByteArray> out;
    for (const QByteArray& line : lines) {
        if (line != "noop" || out.isEmpty() || out.last() != "noop")
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

// The client lines the exchange expects, the message's own lines in place of the mark.
inline QList<QByteArray> ClientLines(const Exchange& exchange, const QByteArray& message) {
    QList<QByteArray> lines;
    for (const auto& [client, answer] : exchange) {
        if (client != MessageMark) {
            lines.append(client);
            continue;
        }
        QList<QByteArray> messageLines = message.split('\n');
        messageLines.removeLast(); // behind the final line end
        for (QByteArray& line : messageLines)
            lines.append(line.chopped(1));
    }
    return CollapsedNoops(lines);
}
