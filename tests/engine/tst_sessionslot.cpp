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

ConfigSettings Settings(const QString& logMode, const QString& timeout = QStringLiteral("30")) {
    ConfigSettings s;
    s.LogMode = logMode;
    s.PopTimeout = timeout;
    s.SmtpTimeout = timeout;
    return s;
}

SessionSocket& SocketOf(SessionSlot& slot, Protocol protocol) {
    return protocol == Protocol::POP ? slot.POPSocket : slot.SMTPSocket;
}

bool WaitReply(SessionSlot& slot, Protocol protocol, const QByteArray& code) {
    return protocol == Protocol::POP ? slot.WaitPOPReply(code) : slot.WaitSMTPReply(code);
}

QByteArray Greeting(Protocol protocol) {
    return protocol == Protocol::POP ? "+OK" : "220";
}

// Connects the slot's socket of that protocol and takes the server's greeting.
bool Connect(SessionSlot& slot, Protocol protocol, const ScriptedServer& server) {
    return SocketOf(slot, protocol).open(QStringLiteral("127.0.0.1"), server.port()) &&
           WaitReply(slot, protocol, Greeting(protocol));
}

// A port on which nothing listens.
quint16 RefusingPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

Q_DECLARE_METATYPE(Protocol)

class TestSessionSlot : public QObject {
    Q_OBJECT

private slots:
    // The clock stands still here: the only events are the socket's, so the split
    // pieces are judged in a known order. The closing ends the last look for a newer piece.
    void replyIsJudgedByItsLatestPiece_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QString>("logMode");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<qint32>>("events");
        const QList<qint32> none;
        QTest::newRow("whole reply")
            << Protocol::POP << QList<QByteArray>{"+OK ready\r\n"} << "3" << true << none;
        QTest::newRow("a newer piece replaces a wrong reply")
            << Protocol::POP << QList<QByteArray>{"* noise\r\n", "+OK ready\r\n"} << "3" << true
            << none;
        QTest::newRow("code split over two pieces is never seen whole")
            << Protocol::POP << QList<QByteArray>{"+O", "K ready\r\n"} << "3" << false
            << QList<qint32>{7210};
        QTest::newRow("-ERR at level 1")
            << Protocol::POP << QList<QByteArray>{"-ERR mailbox locked\r\n"} << "1" << false
            << QList<qint32>{7200};
        QTest::newRow("-ERR split: the latest piece is only a wrong code")
            << Protocol::POP << QList<QByteArray>{"-", "ERR locked\r\n"} << "3" << false
            << QList<qint32>{7210};
        QTest::newRow("POP wrong code at level 2")
            << Protocol::POP << QList<QByteArray>{"250 what\r\n"} << "2" << false << none;
        QTest::newRow("POP wrong code at level 3")
            << Protocol::POP << QList<QByteArray>{"250 what\r\n"} << "3" << false
            << QList<qint32>{7210};
        QTest::newRow("SMTP newer piece")
            << Protocol::SMTP << QList<QByteArray>{"451-busy\r\n", "250 ok\r\n"} << "1" << true
            << none;
        QTest::newRow("SMTP split code") << Protocol::SMTP << QList<QByteArray>{"2", "50 ok\r\n"}
                                         << "3" << false << QList<qint32>{7211};
        QTest::newRow("SMTP -ERR is just a wrong code at level 1")
            << Protocol::SMTP << QList<QByteArray>{"-ERR no\r\n"} << "1" << false << none;
        QTest::newRow("SMTP wrong code at level 3")
            << Protocol::SMTP << QList<QByteArray>{"554 no\r\n"} << "3" << false
            << QList<qint32>{7211};
    }
    void replyIsJudgedByItsLatestPiece() {
        QFETCH(Protocol, protocol);
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QString, logMode);
        QFETCH(bool, ok);
        QFETCH(QList<qint32>, events);
        RealTime clock;
        SessionSlot slot(clock);
        slot.Settings = Settings(logMode);
        ScriptedServer server;
        server.reply(Greeting(protocol)).expect("CMD").sendPieces(pieces, 80).pause(80).close();
        QVERIFY(Connect(slot, protocol, server));
        MemoryEventLog log;
        QVERIFY(SocketOf(slot, protocol).sendLine("CMD"));

        QCOMPARE(WaitReply(slot, protocol, protocol == Protocol::POP ? "+OK" : "250"), ok);
        QCOMPARE(log.ids(), events);
        QVERIFY2(server.mismatches().isEmpty(), qPrintable(server.mismatches().join('\n')));
    }

    void eventTextsOfWrongReplies_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("7200") << Protocol::POP << QByteArray("-ERR locked\r\n")
                              << "This error was returned from the POP Server: -ERR locked\r\n";
        QTest::newRow("7210") << Protocol::POP << QByteArray("+NO\r\n")
                              << "POP service error, improper response code. Code should have "
                                 "been: +OK Code received: +NO\r\n";
        QTest::newRow("7211") << Protocol::SMTP << QByteArray("501 bad\r\n")
                              << "SMTP service error, improper response code. Code should have "
                                 "been: 250 Code received: 501 bad\r\n";
    }
    void eventTextsOfWrongReplies() {
        QFETCH(Protocol, protocol);
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        RealTime clock;
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"));
        ScriptedServer server;
        server.reply(Greeting(protocol)).expect("CMD").send(reply).pause(50).close();
        QVERIFY(Connect(slot, protocol, server));
        MemoryEventLog log;
        QVERIFY(SocketOf(slot, protocol).sendLine("CMD"));
        QVERIFY(!WaitReply(slot, protocol, protocol == Protocol::POP ? "+OK" : "250"));
        QCOMPARE(log.entries().size(), 1);
        QCOMPARE(log.entries().first().type, int(EventLog::Error));
        QCOMPARE(log.entries().first().text, text);
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
        QTest::newRow("SMTP time-out text read by its leading number")
            << Protocol::SMTP << " 2 seconds" << 3;
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
        QVERIFY(!WaitReply(slot, protocol, "+OK"));
        QCOMPARE(clock.now() - start, seconds);
        QCOMPARE(log.ids(), QList<qint32>{});
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

        QVERIFY(!slot.WaitPOPReply("+OK"));
        QCOMPARE(clock.now(), 6);
    }

    void noopLoopsEndWithinTenSeconds_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<int>("minSeconds");
        QTest::addColumn<int>("maxSeconds");
        QTest::addColumn<int>("minNoops");
        QTest::addColumn<int>("maxNoops");
        // FlushPOP's first look comes before any reply could run in: one more round.
        QTest::newRow("FlushPOP answered") << Protocol::POP << true << 2 << 3 << 2 << 2;
        QTest::newRow("FlushPOP silent") << Protocol::POP << false << 10 << 12 << 3 << 7;
        QTest::newRow("PingSMTP answered") << Protocol::SMTP << true << 1 << 2 << 1 << 1;
        QTest::newRow("PingSMTP silent") << Protocol::SMTP << false << 10 << 12 << 4 << 11;
    }
    void noopLoopsEndWithinTenSeconds() {
        QFETCH(Protocol, protocol);
        QFETCH(bool, answered);
        QFETCH(int, minSeconds);
        QFETCH(int, maxSeconds);
        QFETCH(int, minNoops);
        QFETCH(int, maxNoops);
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"));
        ScriptedServer server;
        server.reply(Greeting(protocol));
        if (answered) {
            for (int i = 0; i < maxNoops; ++i)
                server.expect("noop").reply(protocol == Protocol::POP ? "+OK" : "250 ok");
        }
        QVERIFY(Connect(slot, protocol, server));
        MemoryEventLog log;

        const qint32 start = clock.now();
        protocol == Protocol::POP ? slot.FlushPOP() : slot.PingSMTP();
        const qint32 seconds = clock.now() - start;
        QVERIFY2(seconds >= minSeconds && seconds <= maxSeconds,
                 qPrintable(QString::number(seconds)));
        const auto noops = server.lines().count("noop");
        QVERIFY2(noops >= minNoops && noops <= maxNoops, qPrintable(QString::number(noops)));
        QCOMPARE(server.lines().size(), noops);
        QVERIFY(slot.POPData.isEmpty() && slot.SMTPData.isEmpty());
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
        QTest::newRow("FlushPOP at level 2") << Protocol::POP << "2" << QString();
        QTest::newRow("PingSMTP at level 3")
            << Protocol::SMTP << "3" << QStringLiteral("Ping Error: ") + wrongState;
        QTest::newRow("PingSMTP at level 1") << Protocol::SMTP << "1" << QString();
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
        const QList<EventLog::Entry> expected =
            text.isEmpty() ? QList<EventLog::Entry>{}
                           : QList<EventLog::Entry>{{EventLog::Error, 7000, text}};
        QCOMPARE(log.entries(), expected);
    }

    void keepAliveSendsNoopOnItsOwnSocket() {
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        ScriptedServer pop;
        ScriptedServer smtp;
        pop.reply("+OK");
        smtp.reply("220 ready");
        QVERIFY(Connect(slot, Protocol::POP, pop));
        QVERIFY(Connect(slot, Protocol::SMTP, smtp));

        slot.SetPOPAlive(true);
        QTRY_COMPARE_WITH_TIMEOUT(pop.lines(), (QList<QByteArray>{"noop", "noop"}),
                                  60 * ShortSecondMs * 10);
        QCOMPARE(smtp.lines(), QList<QByteArray>{});
        slot.SetPOPAlive(false);
        slot.SetSMTPAlive(true);
        QTRY_COMPARE_WITH_TIMEOUT(smtp.lines(), QList<QByteArray>{"noop"}, 40 * ShortSecondMs * 10);
        QCOMPARE(pop.lines().size(), 2);
    }

    void keepAliveOnAClosedSocketDoesNothingVisible() {
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"));
        MemoryEventLog log;
        slot.SetPOPAlive(true);
        slot.SetSMTPAlive(true);
        slot.WaitSeconds(3 * SessionSlot::KeepAliveSeconds);
        QCOMPARE(log.ids(), QList<qint32>{});
        QCOMPARE(slot.POPSocket.state(), SessionSocket::State::Closed);
        QCOMPARE(slot.SMTPSocket.state(), SessionSocket::State::Closed);
    }

    void dataReplyWaitsForTheSendThenTheSmtpTimeout_data() {
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("ok");
        QTest::newRow("accepted") << true << true;
        QTest::newRow("no reply") << false << false;
    }
    void dataReplyWaitsForTheSendThenTheSmtpTimeout() {
        QFETCH(bool, answered);
        QFETCH(bool, ok);
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"), QStringLiteral("8"));
        ScriptedServer server;
        server.reply("220 ready").expectMessage();
        if (answered)
            server.reply("250 queued");
        QVERIFY(Connect(slot, Protocol::SMTP, server));
        // Large enough to take several writes.
        const QByteArray message =
            QByteArray("Subject: big\r\n\r\n") + QByteArray(1 << 20, 'x') + "\r\n.\r\n";
        QVERIFY(slot.SMTPSocket.send(message));

        const qint32 start = clock.now();
        QCOMPARE(slot.WaitSMTPDataReply("250"), ok);
        // Without a reply: the send, then the SMTP time-out for the reply.
        if (!ok)
            QVERIFY(clock.now() - start >= 8 && clock.now() - start <= 10);
        QTRY_COMPARE(server.messages(), QList<QByteArray>{message});
        QVERIFY(slot.SMTPData.isEmpty());
    }

    void failureReportByState_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QList<EventLog::Entry>>("events");
        QTest::addColumn<QList<QByteArray>>("clientLines");
        const QString host = QStringLiteral("127.0.0.1");
        const auto warning = [](qint32 id, const QString& text) {
            return QList<EventLog::Entry>{{EventLog::Warning, id, text}};
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
                << p << "connected" << QList<EventLog::Entry>{} << QList<QByteArray>{"quit"};
            QTest::addRow("%s closed by the peer", name)
                << p << "peer closed"
                << warning(8001, "Connection terminated by peer: " + host +
                                     ", This could result from querying a mail server too often.")
                << QList<QByteArray>{};
            QTest::addRow("%s refused", name)
                << p << "refused" << warning(8002, "Connection Error to: " + host)
                << QList<QByteArray>{};
        }
    }
    void failureReportByState() {
        QFETCH(Protocol, protocol);
        QFETCH(QString, situation);
        QFETCH(QList<EventLog::Entry>, events);
        QFETCH(QList<QByteArray>, clientLines);
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("3"));
        SessionSocket& socket = SocketOf(slot, protocol);
        const QString host = QStringLiteral("127.0.0.1");
        ScriptedServer server;
        StalledListener stalled;
        if (situation == "connecting") {
            QVERIFY(socket.open(host, stalled.port()));
            QCOMPARE(socket.state(), SessionSocket::State::Connecting);
        } else if (situation == "refused") {
            QVERIFY(socket.open(host, RefusingPort()));
            QTRY_VERIFY(socket.state() != SessionSocket::State::Connecting);
        } else {
            server.reply(Greeting(protocol));
            if (situation == "connected")
                server.expect("quit").reply(protocol == Protocol::POP ? "+OK bye" : "221 bye");
            else
                server.close();
            QVERIFY(Connect(slot, protocol, server));
            if (situation == "peer closed")
                QTRY_COMPARE(socket.state(), SessionSocket::State::Closing);
        }
        MemoryEventLog log;

        protocol == Protocol::POP ? slot.ReportPOPFailure(host) : slot.ReportSMTPFailure(host);
        QCOMPARE(log.entries(), events);
        QCOMPARE(server.lines(), clientLines);
        QVERIFY(server.mismatches().isEmpty());
        QCOMPARE(server.finished(), server.connections() == 1);
        QCOMPARE(socket.state(), SessionSocket::State::Closed);
    }

    void twoSlotsWorkSideBySide() {
        RealTime clock(ShortSecondMs);
        RealTimer timer(clock);
        const QByteArray bodyA = "+OK\r\nSubject: for slot 0\r\n\r\nA\r\n.\r\n";
        const QByteArray bodyB = "+OK\r\nSubject: for slot 1\r\n\r\nB\r\n.\r\n";
        ScriptedServer serverA;
        ScriptedServer serverB;
        // Slot 0's server is slow: slot 1 must not wait for it.
        serverA.reply("+OK A").expect("RETR 1").pause(500).sendPieces({bodyA.left(9), bodyA.mid(9)},
                                                                      50);
        serverB.reply("+OK B").expect("RETR 1").sendPieces({bodyB.left(9), bodyB.mid(9)}, 50);

        QByteArray captured[2];
        const auto download = [](quint16 port, QByteArray& out) {
            return [port, &out](SessionSlot& slot) {
                if (!slot.POPSocket.open(QStringLiteral("127.0.0.1"), port) ||
                    !slot.WaitPOPReply("+OK"))
                    return false;
                slot.CaptureMode = true;
                if (!slot.POPSocket.sendLine("RETR 1"))
                    return false;
                while (!slot.POPData.endsWith("\r\n.\r\n") && !slot.StopRequested())
                    slot.LetEventsRun();
                out = slot.MessagePieces.mid(0, slot.PieceCount).join();
                return slot.PieceCount == 2;
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
            return slot.POPSocket.open(QStringLiteral("127.0.0.1"), port) &&
                   slot.WaitPOPReply("+OK") && slot.WaitPOPReply("+OK");
        }));
        QTRY_COMPARE(server.connections(), 1);
        QTest::qWait(50);
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
