#include "MailScript.h"

namespace {

// The server serves the slot's POP3 or its SMTP connection.
struct Bench : SmtpBench {
    ScriptedServer& server = smtp;
    bool pop;

    explicit Bench(bool pop, const char* logMode = "3", const char* timeout = "30")
        : SmtpBench(logMode, timeout), pop(pop) {}
    MailConnection& c() { return pop ? slot.POP : slot.SMTP; }
    bool wait(std::optional<SessionSlot::Ticket> ticket, const char* smtpCode = "250") {
        return pop ? slot.WaitPOPReply(ticket, "+OK") : slot.WaitSMTPReply(ticket, smtpCode);
    }
    // Connects and takes the greeting (the server's first scripted step); the log starts afresh.
    bool connect() {
        server.reply(pop ? "+OK" : "220");
        const bool ok =
            c().open(QStringLiteral("127.0.0.1"), server.port()) && wait(c().greeting(), "220");
        log.clear();
        return ok;
    }
};

SessionSlot::Shape ShapeOf(const QByteArray& command) {
    using enum SessionSlot::Shape;
    return command.startsWith("RETR") ? Message : command == "CAPA" ? Lines : Line;
}

} // namespace

class TestSessionSlot : public QObject {
    Q_OBJECT

private slots:
    // Commands go out together, the answer split in two at every byte: each reply whole.
    void replyReader_data() {
        QTest::addColumn<RowCheck>("check");
        const auto row = [](const char* name, const char* commandList, const QByteArray& answer,
                            const QByteArray& firstReply, bool ok, QList<qint32> events = {},
                            bool pop = true) {
            const QList<QByteArray> commands = QByteArray(commandList).split(',');
            QTest::newRow(name) << RowCheck([=] {
                Bench b(pop);
                QVERIFY(b.connect());
                for (qsizetype split = 1; split < answer.size(); ++split) {
                    for (const QByteArray& command : commands)
                        b.server.expect(command);
                    b.server.send(answer.left(split)).pause(2).send(answer.mid(split));
                    QList<SessionSlot::Ticket> tickets;
                    for (const QByteArray& command : commands)
                        tickets.append(b.c().send(command, ShapeOf(command)).value());
                    if (tickets.size() > 1) {
                        const auto first = b.slot.AwaitReply(b.c(), tickets.first(), 30);
                        QVERIFY2(first, qPrintable(QStringLiteral("split at %1").arg(split)));
                        QCOMPARE(first->text(), firstReply);
                    }
                    QCOMPARE(b.wait(tickets.last()), ok);
                    if (tickets.size() == 1)
                        QCOMPARE(pop ? b.slot.POPData : b.slot.SMTPData, firstReply);
                    QCOMPARE(b.log.ids(), events);
                    b.log.clear();
                }
                QCOMPARE(b.server.mismatches().join('\n'), QString());
            });
        };
        row("POP -ERR", "X", "-ERR no\r\n", "-ERR no\r\n", false, {7200});
        row("POP wrong code", "X", "+NO\r\n", "+NO\r\n", false, {7210});
        row("late noop replies counted off", "noop,noop,RETR 2", "+OK\r\n+OK\r\n-ERR no\r\n",
            "+OK\r\n", false, {7200});
        row("CAPA list", "CAPA,X", "+OK\r\nUIDL\r\n.\r\n+OK\r\n", "+OK\r\nUIDL\r\n.\r\n", true);
        row("message with a stuffed dot", "RETR 1,X", "+OK\r\nS: x\r\n\r\n..\r\n.\r\n+OK\r\n",
            "+OK\r\nS: x\r\n\r\n..\r\n.\r\n", true);
        row("empty message", "RETR 1,X", "+OK\r\n.\r\n+OK\r\n", "+OK\r\n.\r\n", true);
        row("refused message: one line", "RETR 1,X", "-ERR no\r\n+OK\r\n", "-ERR no\r\n", true);
        row("SMTP continued lines", "X,Y", "250-a\r\n250-b c\r\n250 d\r\n554 no\r\n",
            "250-a\r\n250-b c\r\n250 d\r\n", false, {7211}, false);
    }
    void replyReader() { RunCheck(); }

    // A silent server is given up after the time-out; a clock set back restarts the count.
    void silentServerTimesOut_data() {
        QTest::addColumn<RowCheck>("check");
        // setBack: to 0 three seconds into the wait; end: the clock then, it starts at 100.
        const auto row = [this](const char* timeout, bool setBack, int end) {
            QTest::newRow(timeout) << RowCheck([=, this] {
                Bench b(true, "3", timeout);
                QVERIFY(b.connect());
                b.clock.set(100);
                connect(&b.clock, &RealTime::changed, this, [&b, back = setBack]() mutable {
                    if (b.clock.now() == 103 && std::exchange(back, false))
                        b.clock.set(0);
                });
                QVERIFY(!b.wait(b.c().send("X")));
                QCOMPARE(b.clock.now(), end);
                QCOMPARE(b.log.ids(), QList<qint32>{8005});
            });
        };
        row("0", false, 101); // the first second ends it
        row("3", false, 104);
        row("5", true, 6);
    }
    void silentServerTimesOut() { RunCheck(); }

    // The keep-alive's late replies are never taken for the reply to the next command.
    void keepAliveRepliesAreCountedOff() {
        Bench b(true);
        QVERIFY(b.connect());
        b.server.expect("noop").expect("noop").expect("RETR 1").send("+OK\r\n+OK\r\n-ERR no\r\n");

        b.slot.SetPOPAlive(true);
        QTRY_COMPARE_WITH_TIMEOUT(b.server.lines(), (QList<QByteArray>{"noop", "noop"}), 6000);
        b.slot.SetPOPAlive(false);
        QVERIFY(!b.wait(b.slot.POP.send("RETR 1", ShapeOf("RETR"))));
        QCOMPARE(b.slot.POPData, "-ERR no\r\n");
    }

    // A message larger than the socket's backlog goes out whole, each piece freed.
    void largeDataGoesOutPieceByPiece() {
        Bench b(false, "3", "8");
        QVERIFY(b.connect());
        b.server.expectMessage().reply("250 queued");
        const QByteArray message = "Subject: big\r\n\r\n" + QByteArray(3 << 20, 'x') + "\r\n.\r\n";
        QList<QByteArray> pieces = {message.left(100), message.mid(100, 2 << 20),
                                    message.mid(100 + (2 << 20))};

        QVERIFY(b.slot.WaitSMTPDataReply(b.slot.SendSMTPData(pieces), "250"));
        QCOMPARE(b.server.messages(), QList<QByteArray>{message});
        QCOMPARE(pieces.join(), QByteArray());
    }

    // A server that sends an endless line is given up, not buffered for ever.
    void overlongReplyLineEndsTheConnection() {
        Bench b(false, "1");
        QVERIFY(b.connect());
        b.server.expect("X").send(QByteArray(MailConnection::MaxLineBytes + 1, 'x'));
        QVERIFY(!b.slot.SMTPCommand("X", "250"));
        QCOMPARE(b.log.ids(), QList<qint32>{9030});
        QCOMPARE(b.slot.SMTP.Socket.state(), SessionSocket::State::Closed);
    }
};

QTEST_GUILESS_MAIN(TestSessionSlot)
#include "tst_sessionslot.moc"
