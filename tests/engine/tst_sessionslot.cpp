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

enum class Protocol { POP, SMTP };

ServiceSettings Settings(const char* logMode, const char* timeout = "30") {
    ConfigSettings s;
    s.LogMode = QString::fromLatin1(logMode);
    s.PopTimeout = s.SmtpTimeout = QString::fromLatin1(timeout);
    return ReadServiceSettings(s);
}

// A slot on a clock of 10 ms seconds, with a server for one of its connections.
struct Bench {
    RealTime clock{10};
    RealTimer timer{clock};
    SessionSlot slot{clock};
    ScriptedServer server;
    Protocol protocol;

    explicit Bench(Protocol p, const char* logMode = "3", const char* timeout = "30")
        : protocol(p) {
        slot.Settings = Settings(logMode, timeout);
    }
    MailConnection& c() { return protocol == Protocol::POP ? slot.POP : slot.SMTP; }
    QByteArray code() const { return protocol == Protocol::POP ? "+OK" : "250"; }
    bool wait(std::optional<SessionSlot::Ticket> ticket, const QByteArray& code) {
        return protocol == Protocol::POP ? slot.WaitPOPReply(ticket, code)
                                         : slot.WaitSMTPReply(ticket, code);
    }
    // Connects and takes the greeting the server was scripted to send first.
    bool connect() {
        return c().open(QStringLiteral("127.0.0.1"), server.port()) &&
               wait(c().greeting(), protocol == Protocol::POP ? "+OK" : "220");
    }
};

SessionSlot::Shape ShapeOf(const QByteArray& command) {
    if (command.startsWith("RETR"))
        return SessionSlot::Shape::Message;
    return command == "CAPA" ? SessionSlot::Shape::Lines : SessionSlot::Shape::Line;
}

} // namespace

Q_DECLARE_METATYPE(Protocol)

class TestSessionSlot : public QObject {
    Q_OBJECT

private slots:
    // Commands go out together; the server's answer to all of them is split in two at
    // every byte. The first reply must come whole, the last be judged by its own reply.
    void replyReader_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QList<QByteArray>>("commands");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("firstReply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<qint32>>("events");
        const auto row = [](const char* name, Protocol protocol, const char* commands,
                            const char* answer, const char* firstReply, bool ok,
                            QList<qint32> events) {
            QTest::newRow(name) << protocol << QByteArray(commands).split(',') << QByteArray(answer)
                                << QByteArray(firstReply) << ok << events;
        };
        const Protocol P = Protocol::POP;
        row("POP status", P, "X", "+OK hi\r\n", "+OK hi\r\n", true, {});
        row("POP -ERR", P, "X", "-ERR no\r\n", "-ERR no\r\n", false, {7200});
        row("POP wrong code", P, "X", "+NO\r\n", "+NO\r\n", false, {7210});
        row("late noop replies counted off", P, "noop,noop,RETR 2",
            "+OK\r\n+OK\r\n-ERR no such message\r\n", "+OK\r\n", false, {7200});
        row("CAPA list", P, "CAPA,X", "+OK\r\nUIDL\r\n.\r\n+OK\r\n", "+OK\r\nUIDL\r\n.\r\n", true,
            {});
        row("message with a stuffed dot", P, "RETR 1,X", "+OK\r\nS: x\r\n\r\n..\r\n.\r\n+OK\r\n",
            "+OK\r\nS: x\r\n\r\n..\r\n.\r\n", true, {});
        row("empty message", P, "RETR 1,X", "+OK\r\n.\r\n+OK\r\n", "+OK\r\n.\r\n", true, {});
        row("refused message: one line", P, "RETR 1,X", "-ERR no\r\n+OK\r\n", "-ERR no\r\n", true,
            {});
        row("SMTP continued lines", Protocol::SMTP, "X,Y",
            "250-a\r\n250-b c\r\n250 d\r\n554 no\r\n", "250-a\r\n250-b c\r\n250 d\r\n", false,
            {7211});
    }
    void replyReader() {
        QFETCH(Protocol, protocol);
        QFETCH(QList<QByteArray>, commands);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, firstReply);
        QFETCH(bool, ok);
        QFETCH(QList<qint32>, events);
        Bench b(protocol);
        b.server.reply(protocol == Protocol::POP ? "+OK" : "220");
        for (qsizetype split = 1; split < answer.size(); ++split) {
            for (const QByteArray& command : commands)
                b.server.expect(command);
            b.server.sendPieces({answer.left(split), answer.mid(split)}, 2);
        }
        QVERIFY(b.connect());
        MemoryEventLog log;

        for (qsizetype split = 1; split < answer.size(); ++split) {
            QList<SessionSlot::Ticket> tickets;
            for (const QByteArray& command : commands)
                tickets.append(b.c().send(command, ShapeOf(command)).value());
            if (tickets.size() > 1) {
                const auto first = b.slot.AwaitReply(b.c(), tickets.first(), 30);
                QVERIFY2(first, qPrintable(QStringLiteral("split at %1").arg(split)));
                QCOMPARE(first->text(), firstReply);
            }
            QCOMPARE(b.wait(tickets.last(), b.code()), ok);
            if (tickets.size() == 1)
                QCOMPARE(protocol == Protocol::POP ? b.slot.POPData : b.slot.SMTPData, firstReply);
            QCOMPARE(log.ids(), events);
            log.clear();
        }
        QVERIFY2(b.server.mismatches().isEmpty(), qPrintable(b.server.mismatches().join('\n')));
    }

    // A silent server is given up when the time-out has passed, counted in the clock's
    // seconds; a counter set back by the cycle's end restarts the count.
    void silentServerTimesOut_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QByteArray>("timeout");
        QTest::addColumn<bool>("setBack"); // to 0 three seconds into the wait
        QTest::addColumn<int>("end");      // the clock when the wait ends; it starts at 100
        QTest::newRow("POP 0: the first second ends it")
            << Protocol::POP << QByteArray("0") << false << 101;
        QTest::newRow("POP 3") << Protocol::POP << QByteArray("3") << false << 104;
        QTest::newRow("SMTP 2") << Protocol::SMTP << QByteArray("2") << false << 103;
        QTest::newRow("POP 5, counter set back") << Protocol::POP << QByteArray("5") << true << 6;
    }
    void silentServerTimesOut() {
        QFETCH(Protocol, protocol);
        QFETCH(QByteArray, timeout);
        QFETCH(bool, setBack);
        QFETCH(int, end);
        Bench b(protocol, "3", timeout.constData());
        b.server.reply(protocol == Protocol::POP ? "+OK" : "220");
        QVERIFY(b.connect());
        MemoryEventLog log;
        b.clock.set(100);
        connect(&b.clock, &RealTime::changed, this, [&b, &setBack] {
            if (b.clock.now() == 103 && std::exchange(setBack, false))
                b.clock.set(0);
        });

        QVERIFY(!b.wait(b.c().send("X"), b.code()));
        QCOMPARE(b.clock.now(), end);
        QCOMPARE(log.entries(), (QList<EventLog::Entry>{
                                    {EventLog::Warning, 8005,
                                     QStringLiteral("No answer in time from: 127.0.0.1:%1, to X")
                                         .arg(b.server.port())}}));
    }

    // The keep-alive's "noop" goes out on its own connection, and its late reply is never
    // taken for the reply to the next command.
    void keepAliveRepliesAreCountedOff() {
        Bench b(Protocol::POP);
        ScriptedServer smtp;
        b.server.reply("+OK").expect("noop").expect("noop").expect("RETR 1");
        b.server.send("+OK\r\n+OK\r\n-ERR no such message\r\n");
        smtp.reply("220 ready");
        QVERIFY(b.connect());
        QVERIFY(b.slot.SMTP.open(QStringLiteral("127.0.0.1"), smtp.port()));

        b.slot.SetPOPAlive(true);
        QTRY_COMPARE_WITH_TIMEOUT(b.server.lines(), (QList<QByteArray>{"noop", "noop"}), 6000);
        b.slot.SetPOPAlive(false);
        const auto reply = b.slot.AwaitMessage(b.slot.POP.send("RETR 1", ShapeOf("RETR")).value());
        QVERIFY(reply);
        QCOMPARE(reply->text(), QByteArray("-ERR no such message\r\n"));

        QCOMPARE(smtp.lines(), QList<QByteArray>{});
    }

    // A message larger than the socket's backlog goes out whole, each piece freed; without
    // a reply, the send is followed by the SMTP time-out.
    void dataReplyWaitsForTheSendThenTheTimeout_data() {
        QTest::addColumn<bool>("answered");
        QTest::newRow("accepted") << true;
        QTest::newRow("no reply") << false;
    }
    void dataReplyWaitsForTheSendThenTheTimeout() {
        QFETCH(bool, answered);
        Bench b(Protocol::SMTP, "3", "8");
        b.server.reply("220 ready").expectMessage();
        if (answered)
            b.server.reply("250 queued");
        QVERIFY(b.connect());
        const QByteArray message = "Subject: big\r\n\r\n" + QByteArray(3 << 20, 'x') + "\r\n.\r\n";
        QList<QByteArray> pieces = {message.left(100), message.mid(100, 2 << 20),
                                    message.mid(100 + (2 << 20))};

        const qint32 start = b.clock.now();
        QCOMPARE(b.slot.WaitSMTPDataReply(b.slot.SendSMTPData(pieces), "250"), answered);
        QVERIFY(answered || (b.clock.now() - start >= 9 && b.clock.now() - start <= 14));
        QTRY_COMPARE(b.server.messages(), QList<QByteArray>{message});
        QCOMPARE(pieces.join(), QByteArray());
    }

    // The report of a failed step by the socket's state; the connection ends closed.
    void failureReportByState_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QList<qint32>>("events");
        QTest::addColumn<QList<QByteArray>>("clientLines");
        const auto row = [](const char* name, Protocol protocol, const char* situation,
                            QList<qint32> events, QList<QByteArray> clientLines = {}) {
            QTest::newRow(name) << protocol << QString::fromLatin1(situation) << events
                                << clientLines;
        };
        row("POP connecting", Protocol::POP, "connecting", {8000});
        row("SMTP connected: quit", Protocol::SMTP, "connected", {}, {"quit"});
        row("POP closed by the peer", Protocol::POP, "peer closed", {8001});
        row("SMTP refused", Protocol::SMTP, "refused", {8002});
    }
    void failureReportByState() {
        QFETCH(Protocol, protocol);
        QFETCH(QString, situation);
        QFETCH(QList<qint32>, events);
        QFETCH(QList<QByteArray>, clientLines);
        Bench b(protocol);
        const QString host = QStringLiteral("127.0.0.1");
        StalledListener stalled;
        QTcpServer probe;
        if (situation == "connecting") {
            QVERIFY(b.c().open(host, stalled.port()));
        } else if (situation == "refused") {
            probe.listen(QHostAddress::LocalHost, 0);
            const quint16 port = probe.serverPort();
            probe.close();
            QVERIFY(b.c().open(host, port));
            QTRY_VERIFY(b.c().Socket.state() != SessionSocket::State::Connecting);
        } else {
            b.server.reply(protocol == Protocol::POP ? "+OK" : "220");
            if (situation == "connected")
                b.server.expect("quit").reply(protocol == Protocol::POP ? "+OK bye" : "221 bye");
            else
                b.server.close();
            QVERIFY(b.connect());
            if (situation == "peer closed")
                QTRY_COMPARE(b.c().Socket.state(), SessionSocket::State::Closing);
        }
        MemoryEventLog log;

        protocol == Protocol::POP ? b.slot.ReportPOPFailure(host) : b.slot.ReportSMTPFailure(host);
        QCOMPARE(log.ids(), events);
        QCOMPARE(b.server.lines(), clientLines);
        QCOMPARE(b.c().Socket.state(), SessionSocket::State::Closed);
    }

    // A server that sends an endless line is given up, not buffered for ever.
    void overlongReplyLineEndsTheConnection() {
        Bench b(Protocol::SMTP, "1");
        b.server.reply("220 ready")
            .expect("X")
            .send(QByteArray(MailConnection::MaxLineBytes + 1, 'x'));
        QVERIFY(b.connect());
        MemoryEventLog log;
        QVERIFY(!b.slot.SMTPCommand("X", "250"));
        QCOMPARE(log.ids(), QList<qint32>{9030});
        QCOMPARE(b.slot.SMTP.Socket.state(), SessionSocket::State::Closed);
    }

    // Real seconds: without the stop this wait would last half a minute.
    void stopEndsAWaitAtOnce_data() {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("stop requested") << false;
        QTest::newRow("worker destroyed") << true;
    }
    void stopEndsAWaitAtOnce() {
        QFETCH(bool, destroy);
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
