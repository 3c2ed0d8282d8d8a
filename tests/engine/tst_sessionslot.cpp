#include "MemoryEventLog.h"
#include "RealTime.h"
#include "ScriptedServer.h"
#include "SessionSlot.h"
#include "SlotWorker.h"
#include "StalledListener.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {

constexpr int ShortSecondMs = 10;

enum class Protocol { POP, SMTP };

ServiceSettings Settings(const QString& logMode, const QString& timeout = QStringLiteral("30")) {
    ConfigSettings s;
    s.LogMode = logMode;
    s.PopTimeout = timeout;
    s.SmtpTimeout = timeout;
    return ReadServiceSettings(s);
}

MailConnection& ConnectionOf(SessionSlot& slot, Protocol protocol) {
    return protocol == Protocol::POP ? slot.POP : slot.SMTP;
}

bool WaitReply(SessionSlot& slot, Protocol protocol, std::optional<SessionSlot::Ticket> ticket,
               const QByteArray& code) {
    return protocol == Protocol::POP ? slot.WaitPOPReply(ticket, code)
                                     : slot.WaitSMTPReply(ticket, code);
}

QByteArray Greeting(Protocol protocol) {
    return protocol == Protocol::POP ? "+OK" : "220";
}

// Connects the slot's connection of that protocol and takes the server's greeting.
bool Connect(SessionSlot& slot, Protocol protocol, const ScriptedServer& server) {
    MailConnection& c = ConnectionOf(slot, protocol);
    return c.open(QStringLiteral("127.0.0.1"), server.port()) &&
           WaitReply(slot, protocol, c.greeting(), Greeting(protocol));
}

// The shape of the reply a command owes.
SessionSlot::Shape ShapeOf(const QByteArray& command) {
    if (command.startsWith("RETR"))
        return SessionSlot::Shape::Message;
    return command == "CAPA" ? SessionSlot::Shape::Lines : SessionSlot::Shape::Line;
}

// A port on which nothing listens.
quint16 RefusingPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

using Events = QList<EventLog::Entry>;

} // namespace

Q_DECLARE_METATYPE(Protocol)

class TestSessionSlot : public QObject {
    Q_OBJECT

private slots:
    // Several commands go out together; the server's answer to all of them is split in
    // two at every byte position. The first command's reply must come whole and the last
    // one's be judged by its own reply, whatever came before it.
    void repliesAreWholeAndCounted_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QList<QByteArray>>("commands");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("logMode");
        QTest::addColumn<QByteArray>("firstReply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<Events>("events");
        const QList<QByteArray> one = {"CMD"};
        const Events none;
        const auto error = [](qint32 id, const QString& text) {
            return Events{{EventLog::Error, id, text}};
        };
        QTest::newRow("POP status line") << Protocol::POP << one << QByteArray("+OK ready\r\n")
                                         << "3" << QByteArray("+OK ready\r\n") << true << none;
        QTest::newRow("POP -ERR at level 1")
            << Protocol::POP << one << QByteArray("-ERR locked\r\n") << "1"
            << QByteArray("-ERR locked\r\n") << false
            << error(7200, "This error was returned from the POP Server: -ERR locked\r\n");
        QTest::newRow("POP wrong code at level 3")
            << Protocol::POP << one << QByteArray("+NO\r\n") << "3" << QByteArray("+NO\r\n")
            << false
            << error(7210, "POP service error, improper response code. Code should have been: "
                           "+OK Code received: +NO\r\n");
        QTest::newRow("POP wrong code at level 2") << Protocol::POP << one << QByteArray("+NO\r\n")
                                                   << "2" << QByteArray("+NO\r\n") << false << none;
        QTest::newRow("late noop replies are counted off")
            << Protocol::POP << QList<QByteArray>{"noop", "noop", "RETR 2"}
            << QByteArray("+OK\r\n+OK\r\n-ERR no such message\r\n") << "1" << QByteArray("+OK\r\n")
            << false
            << error(7200, "This error was returned from the POP Server: -ERR no such message\r\n");
        QTest::newRow("CAPA list, then a command")
            << Protocol::POP << QList<QByteArray>{"CAPA", "USER bob"}
            << QByteArray("+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n+OK\r\n") << "3"
            << QByteArray("+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n") << true << none;
        QTest::newRow("message with a stuffed dot, then a command")
            << Protocol::POP << QList<QByteArray>{"RETR 1", "dele 1"}
            << QByteArray("+OK\r\nSubject: x\r\n\r\n..\r\n.\r\n+OK deleted\r\n") << "3"
            << QByteArray("+OK\r\nSubject: x\r\n\r\n..\r\n.\r\n") << true << none;
        QTest::newRow("empty message") << Protocol::POP << QList<QByteArray>{"RETR 1", "noop"}
                                       << QByteArray("+OK\r\n.\r\n+OK\r\n") << "3"
                                       << QByteArray("+OK\r\n.\r\n") << true << none;
        QTest::newRow("refused message is one line")
            << Protocol::POP << QList<QByteArray>{"RETR 1", "noop"}
            << QByteArray("-ERR no\r\n+OK\r\n") << "3" << QByteArray("-ERR no\r\n") << true << none;
        QTest::newRow("SMTP reply") << Protocol::SMTP << one << QByteArray("250 ok\r\n") << "3"
                                    << QByteArray("250 ok\r\n") << true << none;
        QTest::newRow("SMTP continuation lines")
            << Protocol::SMTP << one << QByteArray("250-hello\r\n250-SIZE 100\r\n250 ok\r\n") << "3"
            << QByteArray("250-hello\r\n250-SIZE 100\r\n250 ok\r\n") << true << none;
        QTest::newRow("SMTP wrong code at level 3")
            << Protocol::SMTP << one << QByteArray("501-bad\r\n501 syntax\r\n") << "3"
            << QByteArray("501-bad\r\n501 syntax\r\n") << false
            << error(7211, "SMTP service error, improper response code. Code should have been: "
                           "250 Code received: 501-bad\r\n501 syntax\r\n");
        QTest::newRow("SMTP noop then data reply")
            << Protocol::SMTP << QList<QByteArray>{"noop", "CMD"}
            << QByteArray("250 noop\r\n554 no\r\n") << "1" << QByteArray("250 noop\r\n") << false
            << none;
    }
    void repliesAreWholeAndCounted() {
        QFETCH(Protocol, protocol);
        QFETCH(QList<QByteArray>, commands);
        QFETCH(QByteArray, answer);
        QFETCH(QString, logMode);
        QFETCH(QByteArray, firstReply);
        QFETCH(bool, ok);
        QFETCH(Events, events);
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(logMode);
        ScriptedServer server;
        server.reply(Greeting(protocol));
        for (qsizetype split = 1; split < answer.size(); ++split) {
            for (const QByteArray& command : commands)
                server.expect(command);
            server.sendPieces({answer.left(split), answer.mid(split)}, 2);
        }
        QVERIFY(Connect(slot, protocol, server));
        MailConnection& c = ConnectionOf(slot, protocol);
        MemoryEventLog log;

        for (qsizetype split = 1; split < answer.size(); ++split) {
            QList<SessionSlot::Ticket> tickets;
            for (const QByteArray& command : commands)
                tickets.append(c.send(command, ShapeOf(command)).value());
            const QByteArray code = protocol == Protocol::POP ? "+OK" : "250";
            if (commands.size() > 1) {
                const auto reply = slot.AwaitReply(c, tickets.first(), 30);
                QVERIFY2(reply, qPrintable(QStringLiteral("split at %1").arg(split)));
                QCOMPARE(reply->text(), firstReply);
                QCOMPARE(WaitReply(slot, protocol, tickets.last(), code), ok);
            } else {
                QCOMPARE(WaitReply(slot, protocol, tickets.last(), code), ok);
                QCOMPARE(protocol == Protocol::POP ? slot.POPData : slot.SMTPData, firstReply);
            }
            QCOMPARE(log.entries(), events);
            log.clear();
        }
        QVERIFY2(server.mismatches().isEmpty(), qPrintable(server.mismatches().join('\n')));
    }

    // With the clock running at ShortSecondMs: the wait, the timer and the server share
    // this thread, so each tick is seen by the wait before the next one.
    void silentServerTimesOut_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<int>("seconds");
        QTest::newRow("POP time-out 0: the first second ends it") << Protocol::POP << "0" << 1;
        QTest::newRow("POP time-out 3") << Protocol::POP << "3" << 4;
        QTest::newRow("SMTP time-out 2") << Protocol::SMTP << "2" << 3;
    }
    void silentServerTimesOut() {
        QFETCH(Protocol, protocol);
        QFETCH(QString, timeout);
        QFETCH(int, seconds);
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"), timeout);
        ScriptedServer server;
        server.reply(Greeting(protocol));
        QVERIFY(Connect(slot, protocol, server));
        MemoryEventLog log;

        const qint32 start = clock.now();
        QVERIFY(!WaitReply(slot, protocol, ConnectionOf(slot, protocol).send("CMD"), "+OK"));
        QCOMPARE(clock.now() - start, seconds);
        const Events warning = {
            {EventLog::Warning, 8005,
             QStringLiteral("No answer in time from: 127.0.0.1:%1, to CMD").arg(server.port())}};
        QCOMPARE(log.entries(), warning);
    }

    void counterSetBackRestartsTheMeasurement() {
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"), QStringLiteral("5"));
        ScriptedServer server;
        server.reply("+OK");
        QVERIFY(Connect(slot, Protocol::POP, server));
        clock.set(100);
        // The cycle's end sets the counter back three seconds into the wait.
        bool setBack = false;
        connect(&clock, &RealTime::changed, this, [&clock, &setBack] {
            if (clock.now() == 103 && !std::exchange(setBack, true))
                clock.set(0);
        });

        QVERIFY(!slot.POPCommand("CMD", "+OK"));
        QCOMPARE(clock.now(), 6);
    }

    // A "noop" is over as soon as its own reply is in; a silent server gets ten seconds.
    // Where the POP3 server pipelines, FlushPOP does not wait at all.
    void noopWaitsForItsOwnReplyOnly_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("pipelining");
        QTest::addColumn<int>("minSeconds");
        QTest::addColumn<int>("maxSeconds");
        QTest::newRow("FlushPOP answered") << Protocol::POP << true << false << 0 << 0;
        QTest::newRow("FlushPOP silent") << Protocol::POP << false << false << 10 << 11;
        QTest::newRow("FlushPOP pipelined") << Protocol::POP << false << true << 0 << 0;
        QTest::newRow("PingSMTP answered") << Protocol::SMTP << true << false << 0 << 0;
        QTest::newRow("PingSMTP silent") << Protocol::SMTP << false << false << 10 << 11;
    }
    void noopWaitsForItsOwnReplyOnly() {
        QFETCH(Protocol, protocol);
        QFETCH(bool, answered);
        QFETCH(bool, pipelining);
        QFETCH(int, minSeconds);
        QFETCH(int, maxSeconds);
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"));
        ScriptedServer server;
        server.reply(Greeting(protocol));
        if (answered)
            server.expect("noop").reply(protocol == Protocol::POP ? "+OK" : "250 ok");
        QVERIFY(Connect(slot, protocol, server));
        slot.POP.Pipelining = pipelining;
        MemoryEventLog log;

        const qint32 start = clock.now();
        protocol == Protocol::POP ? slot.FlushPOP() : slot.PingSMTP();
        const qint32 seconds = clock.now() - start;
        QVERIFY2(seconds >= minSeconds && seconds <= maxSeconds,
                 qPrintable(QString::number(seconds)));
        QTRY_COMPARE(server.lines(), QList<QByteArray>{"noop"});
        QCOMPARE(log.ids(), QList<qint32>{});
    }

    void noopOnAClosedSocket_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QString>("logMode");
        QTest::addColumn<QString>("text");
        const QString wrongState = QStringLiteral(
            "40006 Wrong protocol or connection state for the requested transaction or request");
        QTest::newRow("FlushPOP at level 3")
            << Protocol::POP << "3" << QStringLiteral("Error Flushing: ") + wrongState;
        QTest::newRow("PingSMTP at level 3")
            << Protocol::SMTP << "3" << QStringLiteral("Ping Error: ") + wrongState;
        QTest::newRow("PingSMTP at level 2") << Protocol::SMTP << "2" << QString();
    }
    void noopOnAClosedSocket() {
        QFETCH(Protocol, protocol);
        QFETCH(QString, logMode);
        QFETCH(QString, text);
        RealTime clock(ShortSecondMs);
        SessionSlot slot(clock);
        slot.Settings = Settings(logMode);
        MemoryEventLog log;
        protocol == Protocol::POP ? slot.FlushPOP() : slot.PingSMTP();
        const Events expected = text.isEmpty() ? Events{} : Events{{EventLog::Error, 7000, text}};
        QCOMPARE(log.entries(), expected);
    }

    // The keep-alive's "noop" goes out on its own connection only, and its late reply is
    // never taken for the reply to the next command.
    void keepAliveRepliesAreCountedOff() {
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"));
        ScriptedServer pop;
        ScriptedServer smtp;
        pop.reply("+OK").expect("noop").expect("noop").expect("RETR 1").reply("+OK");
        pop.reply("+OK").reply("-ERR no such message");
        smtp.reply("220 ready");
        QVERIFY(Connect(slot, Protocol::POP, pop));
        QVERIFY(Connect(slot, Protocol::SMTP, smtp));

        slot.SetPOPAlive(true);
        QTRY_COMPARE_WITH_TIMEOUT(pop.lines(), (QList<QByteArray>{"noop", "noop"}),
                                  60 * ShortSecondMs * 10);
        slot.SetPOPAlive(false);
        const auto retr = slot.POP.send("RETR 1", SessionSlot::Shape::Message);
        QVERIFY(retr);
        const auto reply = slot.AwaitMessage(*retr);
        QVERIFY(reply);
        QCOMPARE(reply->text(), QByteArray("-ERR no such message\r\n"));
        QCOMPARE(smtp.lines(), QList<QByteArray>{});

        // On a closed connection nothing visible happens.
        slot.POP.close();
        slot.SMTP.close();
        MemoryEventLog log;
        slot.SetPOPAlive(true);
        slot.SetSMTPAlive(true);
        QTest::qWait(3 * SessionSlot::KeepAliveSeconds * ShortSecondMs);
        QCOMPARE(log.ids(), QList<qint32>{});
        QCOMPARE(pop.lines().size(), 3);
    }

    void dataReplyWaitsForTheSendThenTheSmtpTimeout_data() {
        QTest::addColumn<bool>("answered");
        QTest::newRow("accepted") << true;
        QTest::newRow("no reply") << false;
    }
    void dataReplyWaitsForTheSendThenTheSmtpTimeout() {
        QFETCH(bool, answered);
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"), QStringLiteral("8"));
        ScriptedServer server;
        server.reply("220 ready").expectMessage();
        if (answered)
            server.reply("250 queued");
        QVERIFY(Connect(slot, Protocol::SMTP, server));
        // Large enough to take several writes, in pieces larger than the backlog.
        const QByteArray message =
            QByteArray("Subject: big\r\n\r\n") + QByteArray(3 << 20, 'x') + "\r\n.\r\n";
        QList<QByteArray> pieces = {message.left(100), message.mid(100, 2 << 20),
                                    message.mid(100 + (2 << 20))};

        const qint32 start = clock.now();
        QCOMPARE(slot.WaitSMTPDataReply(slot.SendSMTPData(pieces), "250"), answered);
        // Without a reply: the send, then the SMTP time-out for the reply.
        if (!answered)
            QVERIFY(clock.now() - start >= 9 && clock.now() - start <= 14);
        QTRY_COMPARE(server.messages(), QList<QByteArray>{message});
        QVERIFY(std::all_of(pieces.begin(), pieces.end(), [](auto& p) { return p.isEmpty(); }));
    }

    void failureReportByState_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<Events>("events");
        QTest::addColumn<QList<QByteArray>>("clientLines");
        const QString host = QStringLiteral("127.0.0.1");
        const auto warning = [](qint32 id, const QString& text) {
            return Events{{EventLog::Warning, id, text}};
        };
        QTest::newRow("POP connecting")
            << Protocol::POP << "connecting"
            << warning(8000, "Connection timed out to: " + host +
                                 ", This can be the result of remote server down time or and "
                                 "invalid username, password or mail settings")
            << QList<QByteArray>{};
        QTest::newRow("SMTP connecting")
            << Protocol::SMTP << "connecting"
            << warning(8000, "Connection timed out to: " + host +
                                 ", This can be the result of remote server down time.")
            << QList<QByteArray>{};
        for (const Protocol p : {Protocol::POP, Protocol::SMTP}) {
            const char* name = p == Protocol::POP ? "POP" : "SMTP";
            QTest::addRow("%s connected: quit", name)
                << p << "connected" << Events{} << QList<QByteArray>{"quit"};
            QTest::addRow("%s closed by the peer", name)
                << p << "peer closed"
                << warning(8001, "Connection terminated by peer: " + host +
                                     ", This could result from querying a mail server too often.")
                << QList<QByteArray>{};
            QTest::addRow("%s refused", name)
                << p << "refused"
                << warning(8002, "Connection Error to: " + host + ": Connection refused")
                << QList<QByteArray>{};
        }
    }
    void failureReportByState() {
        QFETCH(Protocol, protocol);
        QFETCH(QString, situation);
        QFETCH(Events, events);
        QFETCH(QList<QByteArray>, clientLines);
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"));
        MailConnection& c = ConnectionOf(slot, protocol);
        const QString host = QStringLiteral("127.0.0.1");
        ScriptedServer server;
        StalledListener stalled;
        if (situation == "connecting") {
            QVERIFY(c.open(host, stalled.port()));
            QCOMPARE(c.Socket.state(), SessionSocket::State::Connecting);
        } else if (situation == "refused") {
            QVERIFY(c.open(host, RefusingPort()));
            QTRY_VERIFY(c.Socket.state() != SessionSocket::State::Connecting);
        } else {
            server.reply(Greeting(protocol));
            if (situation == "connected")
                server.expect("quit").reply(protocol == Protocol::POP ? "+OK bye" : "221 bye");
            else
                server.close();
            QVERIFY(Connect(slot, protocol, server));
            if (situation == "peer closed")
                QTRY_COMPARE(c.Socket.state(), SessionSocket::State::Closing);
        }
        MemoryEventLog log;

        protocol == Protocol::POP ? slot.ReportPOPFailure(host) : slot.ReportSMTPFailure(host);
        QCOMPARE(log.entries(), events);
        QCOMPARE(server.lines(), clientLines);
        QVERIFY(server.mismatches().isEmpty());
        QCOMPARE(server.finished(), server.connections() == 1);
        QCOMPARE(c.Socket.state(), SessionSocket::State::Closed);
    }

    // A server that sends an endless line is given up, not buffered for ever.
    void overlongReplyLineEndsTheConnection() {
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("1"));
        ScriptedServer server;
        server.reply("220 ready")
            .expect("HELO x")
            .send(QByteArray(MailConnection::MaxLineBytes + 1, 'x'));
        QVERIFY(Connect(slot, Protocol::SMTP, server));
        MemoryEventLog log;
        QVERIFY(!slot.SMTPCommand("HELO x", "250"));
        QCOMPARE(log.ids(), QList<qint32>{9030});
        QCOMPARE(slot.SMTP.Socket.state(), SessionSocket::State::Closed);
    }

    void twoSlotsWorkSideBySide() {
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        const QByteArray bodyA = "+OK\r\nSubject: for slot 0\r\n\r\nA\r\n.\r\n";
        const QByteArray bodyB = "+OK\r\nSubject: for slot 1\r\n\r\nB\r\n.\r\n";
        ScriptedServer serverA;
        ScriptedServer serverB;
        // Slot 0's server is slow: slot 1 must not wait for it.
        serverA.reply("+OK A").expect("RETR 1").pause(150).sendPieces({bodyA.left(9), bodyA.mid(9)},
                                                                      20);
        serverB.reply("+OK B").expect("RETR 1").sendPieces({bodyB.left(9), bodyB.mid(9)}, 20);

        QByteArray captured[2];
        const auto download = [](quint16 port, QByteArray& out) {
            return [port, &out](SessionSlot& slot) {
                if (!slot.POP.open(QStringLiteral("127.0.0.1"), port) ||
                    !slot.WaitPOPReply(slot.POP.greeting(), "+OK"))
                    return false;
                const auto reply =
                    slot.AwaitMessage(slot.POP.send("RETR 1", SessionSlot::Shape::Message).value());
                out = reply ? reply->text() : QByteArray();
                return reply && reply->pieces.size() == 2;
            };
        };
        SlotWorker slot0(clock);
        SlotWorker slot1(clock);
        QList<int> order;
        connect(&slot0, &SlotWorker::finished, this, [&order](bool ok) { order << (ok ? 0 : -1); });
        connect(&slot1, &SlotWorker::finished, this, [&order](bool ok) { order << (ok ? 1 : -1); });
        QVERIFY(slot0.run(Settings("3"), download(serverA.port(), captured[0])));
        QVERIFY(!slot0.run(Settings("3"), download(serverA.port(), captured[0])));
        QVERIFY(slot1.run(Settings("3"), download(serverB.port(), captured[1])));

        QTRY_COMPARE(order, (QList<int>{1, 0}));
        QCOMPARE(captured[0], bodyA);
        QCOMPARE(captured[1], bodyB);
        QVERIFY(!slot0.busy() && !slot1.busy());
    }

    void stopEndsAWaitAtOnce_data() {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("stop requested") << false;
        QTest::newRow("worker destroyed") << true;
    }
    void stopEndsAWaitAtOnce() {
        QFETCH(bool, destroy);
        // Real seconds: without the stop, this wait would last half a minute.
        RealTime clock;
        RealTimer timer(clock);
        ScriptedServer server;
        server.reply("+OK");
        auto worker = std::make_unique<SlotWorker>(clock);
        QSignalSpy finished(worker.get(), &SlotWorker::finished);
        QVERIFY(worker->run(Settings("3"), [port = server.port()](SessionSlot& slot) {
            return slot.POP.open(QStringLiteral("127.0.0.1"), port) &&
                   slot.WaitPOPReply(slot.POP.greeting(), "+OK") && slot.POPCommand("STAT", "+OK");
        }));
        QTRY_COMPARE(server.lines(), QList<QByteArray>{"STAT"});
        QElapsedTimer elapsed;
        elapsed.start();
        if (destroy) {
            worker.reset();
        } else {
            worker->requestStop();
            QVERIFY(finished.wait(5000));
            QCOMPARE(finished.first().first().toBool(), false);
        }
        QVERIFY(elapsed.elapsed() < 900);
    }
};

QTEST_GUILESS_MAIN(TestSessionSlot)
#include "tst_sessionslot.moc"
