#include "MailScript.h"
#include "MemoryEventLog.h"
#include "RealTime.h"
#include "SendMessage.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>

namespace {

constexpr int ShortSecondMs = 10;
const QByteArray Helo = "HELO 127.0.0.1";

ServiceSettings Settings(const QString& logMode) {
    ConfigSettings s;
    s.SmtpServer = QStringLiteral("127.0.0.1");
    s.PostmasterMailbox = QStringLiteral("Administrator");
    s.LogMode = logMode;
    s.PopTimeout = s.SmtpTimeout = QStringLiteral("30");
    return ReadServiceSettings(s);
}

// The message as the POP3 server sent it: still dot-stuffed, ending with its "." line.
const QList<QByteArray> Pieces = {"Subject: dots\r\nFrom: <x@y.org>\r\n\r\nFirst\r\n",
                                  "..\r\n..leading dot\r\nLast\r\n.\r\n"};

Exchange Greeted(const QByteArray& from) {
    return {{Helo, "250 hello"}, {"mail from: " + from, "250 ok"}};
}

Exchange Accepted(const QList<QByteArray>& recipients) {
    Exchange out;
    for (const QByteArray& r : recipients)
        out.append({"rcpt to: " + r, "250 ok"});
    return out;
}

const Exchange DataAccepted = {{"noop", {}},
                               {"data", "354 go on"},
                               {MessageMark, "250 queued"},
                               {"noop", {}},
                               {"quit", "221 bye"}};

// A slot on a running short clock, and an SMTP server that answers every "noop".
struct Session {
    RealTime clock{ShortSecondMs};
    RealTimer timer{clock};
    SessionSlot slot{clock};
    ScriptedServer smtp;

    explicit Session(const QString& logMode) {
        slot.Settings = Settings(logMode);
        slot.Settings.smtpPort = smtp.port();
        smtp.answer("noop", "250 ok");
    }
};

} // namespace

Q_DECLARE_METATYPE(Delivery)

class TestSendMessage : public QObject {
    Q_OBJECT

private slots:
    void dialogue_data() {
        QTest::addColumn<QByteArray>("sender");
        QTest::addColumn<QList<QByteArray>>("recipientList"); // empty: single-user account
        QTest::addColumn<QString>("logMode");
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<Delivery>("ok");
        QTest::addColumn<QList<qint32>>("events");
        const QList<qint32> none;
        const QList<QByteArray> single;
        const QList<QByteArray> three = {"ann@example.com", "bob@example.com", "cy@example.com"};
        const Exchange quit = {{"quit", "221 bye"}};

        QTest::newRow("single user")
            << QByteArray("x@y.org") << single << "1"
            << Greeted("x@y.org") + Accepted({"anna"}) + DataAccepted << Delivery::Accepted << none;
        QTest::newRow("blank sender: the postmaster")
            << QByteArray("   ") << single << "1"
            << Greeted("Administrator") + Accepted({"anna"}) + DataAccepted << Delivery::Accepted
            << none;
        QTest::newRow("three recipients in list order, then the ping and data")
            << QByteArray("x@y.org") << three << "1"
            << Greeted("x@y.org") + Accepted(three) + DataAccepted << Delivery::Accepted << none;
        QTest::newRow("replies of several lines")
            << QByteArray("x@y.org") << single << "1"
            << Exchange{{Helo, "250-hello\r\n250-SIZE 1000\r\n250 HELP"},
                        {"mail from: x@y.org", "250 ok"}} +
                   Accepted({"anna"}) + DataAccepted
            << Delivery::Accepted << none;
        QTest::newRow("501 to HELO")
            << QByteArray("x@y.org") << single << "3" << Exchange{{Helo, "501 bad name"}} + quit
            << Delivery::Refused << QList<qint32>{7211};
        QTest::newRow("554 after the data")
            << QByteArray("x@y.org") << single << "3"
            << Greeted("x@y.org") + Accepted({"anna"}) +
                   Exchange{{"noop", {}}, {"data", "354 go on"}, {MessageMark, "554 rejected"}} +
                   quit
            << Delivery::Refused << QList<qint32>{7211};
        QTest::newRow("single user refused: the delivery fails")
            << QByteArray("x@y.org") << single << "1"
            << Greeted("x@y.org") + Exchange{{"rcpt to: anna", "550 unknown"}} + quit
            << Delivery::Refused << none;
        QTest::newRow("one 550 among three is skipped")
            << QByteArray("x@y.org") << three << "1"
            << Greeted("x@y.org") +
                   Exchange{{"rcpt to: ann@example.com", "250 ok"},
                            {"rcpt to: bob@example.com", "550 no such user"},
                            {"rcpt to: cy@example.com", "250 ok"}} +
                   DataAccepted
            << Delivery::Accepted << QList<qint32>{8004};
        QTest::newRow("only 550s: the postmaster")
            << QByteArray("x@y.org") << three.mid(0, 2) << "1"
            << Greeted("x@y.org") +
                   Exchange{{"rcpt to: ann@example.com", "550 no such user"},
                            {"rcpt to: bob@example.com", "550 no such user"},
                            {"rcpt to: Administrator", "250 ok"}} +
                   DataAccepted
            << Delivery::Accepted << QList<qint32>{8004, 8004};
        QTest::newRow("only 550s, the postmaster refused too")
            << QByteArray("x@y.org") << three.mid(0, 1) << "1"
            << Greeted("x@y.org") +
                   Exchange{{"rcpt to: ann@example.com", "550 no such user"},
                            {"rcpt to: Administrator", "550 no"}} +
                   quit
            << Delivery::Refused << QList<qint32>{8004};
        QTest::newRow("a 451 fails the delivery for everybody")
            << QByteArray("x@y.org") << three << "1"
            << Greeted("x@y.org") +
                   Exchange{{"rcpt to: ann@example.com", "250 ok"},
                            {"rcpt to: bob@example.com", "451 try later"}} +
                   quit
            << Delivery::Refused << none;
    }
    void dialogue() {
        QFETCH(QByteArray, sender);
        QFETCH(QList<QByteArray>, recipientList);
        QFETCH(QString, logMode);
        QFETCH(Exchange, exchange);
        QFETCH(Delivery, ok);
        QFETCH(QList<qint32>, events);
        Session s(logMode);
        SessionSlot& slot = s.slot;
        ScriptedServer& smtp = s.smtp;
        Play(smtp, "220-first line\r\n220 ready", exchange);
        MemoryEventLog log;

        const bool fromHeader = !recipientList.isEmpty();
        QCOMPARE(SendMessage(
                     slot,
                     {sender, fromHeader ? recipientList : QList<QByteArray>{"anna"}, fromHeader},
                     Pieces),
                 ok);
        const QByteArray message = Pieces.join();
        QCOMPARE(CollapsedNoops(smtp.lines()), ClientLines(exchange, message));
        QVERIFY2(smtp.mismatches().isEmpty(), qPrintable(smtp.mismatches().join('\n')));
        QCOMPARE(smtp.messages(), exchange.contains({MessageMark, "250 queued"}) ||
                                          exchange.contains({MessageMark, "554 rejected"})
                                      ? QList<QByteArray>{message}
                                      : QList<QByteArray>{});
        QCOMPARE(log.ids(), events);
        QCOMPARE(slot.SMTP.Socket.state(), SessionSocket::State::Closed);
    }

    void refusedRecipientIsNamed() {
        Session s(QStringLiteral("1"));
        Play(s.smtp, "220 ready",
             Greeted("x@y.org") +
                 Exchange{{"rcpt to: <1234@example.com>", "550 5.1.1 not a mailbox"},
                          {"rcpt to: ann@example.com", "250 ok"}} +
                 DataAccepted);
        MemoryEventLog log;
        QCOMPARE(SendMessage(s.slot, {"x@y.org", {"<1234@example.com>", "ann@example.com"}, true},
                             Pieces),
                 Delivery::Accepted);
        QCOMPARE(log.entries(),
                 (QList<EventLog::Entry>{
                     {EventLog::Warning, 8004,
                      "Recipient refused by: 127.0.0.1, the message is not delivered to "
                      "<1234@example.com>: 550 5.1.1 not a mailbox"}}));
    }

    // A server out of reach fails the delivery at once, one that says nothing after its
    // time-out; either way with a warning that says why, and as out of reach.
    void unreachableOrSilentServer_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<qint32>("event");
        QTest::addColumn<QString>("text");
        QTest::newRow("refused") << "refused" << 8002 << "Connection Error to: 127.0.0.1: ";
        QTest::newRow("unknown host")
            << "unknown host" << 8002 << "Connection Error to: no-such-host.invalid: ";
        QTest::newRow("no greeting")
            << "no greeting" << 8005 << "No answer in time from: 127.0.0.1:%1, to the greeting";
        QTest::newRow("no answer to the data")
            << "no answer to the data" << 8005
            << "No answer in time from: 127.0.0.1:%1, to the end of the message data";
    }
    void unreachableOrSilentServer() {
        QFETCH(QString, situation);
        QFETCH(qint32, event);
        QFETCH(QString, text);
        Session s(QStringLiteral("1"));
        SessionSlot& slot = s.slot;
        ScriptedServer& smtp = s.smtp;
        if (situation == "refused") {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            slot.Settings.smtpPort = quint16(probe.serverPort());
        } else if (situation == "unknown host") {
            slot.Settings.smtpServer = QStringLiteral("no-such-host.invalid");
        } else if (situation == "no answer to the data") {
            Play(smtp, "220 ready", Greeted("x@y.org") + Accepted({"anna"}));
            smtp.expect("data").reply("354 go on").expectMessage();
        }
        if (event == 8005)
            text = text.arg(smtp.port());
        MemoryEventLog log;
        QElapsedTimer elapsed;
        elapsed.start();

        QCOMPARE(SendMessage(slot, {"x@y.org", {"anna"}, false}, Pieces), Delivery::Unreachable);
        if (event == 8002)
            QVERIFY2(elapsed.elapsed() < 1000, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(!log.entries().isEmpty());
        QCOMPARE(log.entries().first().id, event);
        QVERIFY2(log.entries().first().text.startsWith(text),
                 qPrintable(log.entries().first().text));
        QVERIFY(log.entries().first().text.size() > text.size() || event == 8005);
        QCOMPARE(log.entries().size(), 1);
    }

    void unusablePortIsAnEngineError_data() {
        QTest::addColumn<QString>("port");
        QTest::newRow("not a number") << "smtp";
        QTest::newRow("blank") << "";
        QTest::newRow("out of range") << "70000";
    }
    void unusablePortIsAnEngineError() {
        QFETCH(QString, port);
        RealTime clock(ShortSecondMs);
        SessionSlot slot(clock);
        slot.Settings = Settings(QStringLiteral("1"));
        slot.Settings.smtpPort = std::nullopt;
        slot.Settings.smtpPortText = port;
        MemoryEventLog log;
        QCOMPARE(SendMessage(slot, {"x@y.org", {"anna"}, false}, Pieces), Delivery::Unreachable);
        QCOMPARE(log.entries(),
                 (QList<EventLog::Entry>{
                     {EventLog::Error, 9010,
                      "SMTP Engine Error: 13 Type mismatch: SMTP port \"" + port + '"'}}));
    }
};

QTEST_GUILESS_MAIN(TestSendMessage)
#include "tst_sendmessage.moc"
