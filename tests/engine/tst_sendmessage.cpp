#include "MailScript.h"
#include "MemoryEventLog.h"
#include "RealTime.h"
#include "SendMessage.h"

#include <QTcpServer>
#include <QTest>
#include <algorithm>

namespace {

// The message as the POP3 server sent it: still dot-stuffed, ending with its "." line.
const QList<QByteArray> Pieces = {"Subject: dots\r\n\r\nFirst\r\n", "..\r\n..lead\r\n.\r\n"};

Exchange Greeted(const QByteArray& from = "x@y.org") {
    return {{"HELO 127.0.0.1", "250 hello"}, {"mail from: " + from, "250 ok"}};
}

Exchange Rcpt(const QList<QByteArray>& recipients, const QByteArray& answer = "250 ok") {
    Exchange out;
    for (const QByteArray& r : recipients)
        out.append({"rcpt to: " + r, answer});
    return out;
}

const Exchange Quit = {{"quit", "221 bye"}};
const Exchange DataAccepted =
    Exchange{{"noop", {}}, {"data", "354 go on"}, {MessageMark, "250 queued"}, {"noop", {}}} + Quit;

// A slot on a running short clock, and an SMTP server that answers every "noop".
struct Session {
    RealTime clock{10};
    RealTimer timer{clock};
    SessionSlot slot{clock};
    ScriptedServer smtp;
    MemoryEventLog log;

    Session() {
        ConfigSettings s;
        s.SmtpServer = QStringLiteral("127.0.0.1");
        s.SmtpPort = QString::number(smtp.port());
        s.PostmasterMailbox = QStringLiteral("Administrator");
        s.LogMode = QStringLiteral("3");
        s.PopTimeout = s.SmtpTimeout = QStringLiteral("2");
        slot.Settings = ReadServiceSettings(s);
        smtp.answer("noop", "250 ok");
    }
};

// The client lines the exchange expects, the message's own lines in place of the mark.
QList<QByteArray> ClientLines(const Exchange& exchange, const QByteArray& message) {
    QList<QByteArray> lines;
    for (const auto& [client, answer] : exchange)
        lines << (client == MessageMark ? message.chopped(2).split('\n') : QList{client});
    for (QByteArray& line : lines)
        line = line.trimmed();
    return CollapsedNoops(lines);
}

} // namespace

Q_DECLARE_METATYPE(Delivery)

class TestSendMessage : public QObject {
    Q_OBJECT

private slots:
    // An empty recipient list stands for a single-user account's one recipient, "anna".
    void dialogue_data() {
        QTest::addColumn<QByteArray>("sender");
        QTest::addColumn<QList<QByteArray>>("recipients");
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<Delivery>("delivery");
        QTest::addColumn<QList<qint32>>("events");
        const auto row = [](const char* name, const QByteArray& sender,
                            QList<QByteArray> recipients, const Exchange& exchange,
                            Delivery delivery, QList<qint32> events) {
            QTest::newRow(name) << sender << recipients << exchange << delivery << events;
        };
        const QList<QByteArray> anna = {"anna"};
        const QList<QByteArray> three = {"a@example.com", "b@example.com", "c@example.com"};
        const auto refused = [&three](int i) {
            return Rcpt(three.mid(i, 1), "550 no");
        };
        row("single user", "x@y.org", {}, Greeted() + Rcpt(anna) + DataAccepted, Delivery::Accepted,
            {});
        row("blank sender: the postmaster", "  ", {},
            Greeted("Administrator") + Rcpt(anna) + DataAccepted, Delivery::Accepted, {});
        row("three recipients in order, several-line replies", "x@y.org", three,
            Exchange{{"HELO 127.0.0.1", "250-hello\r\n250-SIZE 9\r\n250 HELP"},
                     {"mail from: x@y.org", "250 ok"}} +
                Rcpt(three) + DataAccepted,
            Delivery::Accepted, {});
        row("501 to HELO", "x@y.org", {}, Exchange{{"HELO 127.0.0.1", "501 bad"}} + Quit,
            Delivery::Refused, {7211});
        row("554 after the data", "x@y.org", {},
            Greeted() + Rcpt(anna) +
                Exchange{{"noop", {}}, {"data", "354 go on"}, {MessageMark, "554 no"}} + Quit,
            Delivery::Refused, {7211});
        row("single user refused", "x@y.org", {}, Greeted() + Rcpt(anna, "550 unknown") + Quit,
            Delivery::Refused, {7211});
        row("a 550 among three is skipped", "x@y.org", three,
            Greeted() + Rcpt(three.mid(0, 1)) + refused(1) + Rcpt(three.mid(2)) + DataAccepted,
            Delivery::Accepted, {7211, 8004});
        row("only 550s: the postmaster", "x@y.org", three.mid(0, 2),
            Greeted() + refused(0) + refused(1) + Rcpt({"Administrator"}) + DataAccepted,
            Delivery::Accepted, {7211, 8004, 7211, 8004});
        row("postmaster refused too", "x@y.org", three.mid(0, 1),
            Greeted() + Rcpt({three[0], "Administrator"}, "550 no") + Quit, Delivery::Refused,
            {7211, 8004, 7211});
        row("a 451 fails it for everybody", "x@y.org", three,
            Greeted() + Rcpt(three.mid(0, 1)) + Rcpt(three.mid(1, 1), "451 later") + Quit,
            Delivery::Refused, {7211});
    }
    void dialogue() {
        QFETCH(QByteArray, sender);
        QFETCH(QList<QByteArray>, recipients);
        QFETCH(Exchange, exchange);
        QFETCH(Delivery, delivery);
        QFETCH(QList<qint32>, events);
        Session s;
        Play(s.smtp, "220-first line\r\n220 ready", exchange);

        const bool fromHeader = !recipients.isEmpty();
        QCOMPARE(
            SendMessage(s.slot,
                        {sender, fromHeader ? recipients : QList<QByteArray>{"anna"}, fromHeader},
                        Pieces),
            delivery);
        const QByteArray message = Pieces.join();
        QCOMPARE(CollapsedNoops(s.smtp.lines()), ClientLines(exchange, message));
        QVERIFY2(s.smtp.mismatches().isEmpty(), qPrintable(s.smtp.mismatches().join('\n')));
        const bool sent = std::any_of(exchange.begin(), exchange.end(),
                                      [](const auto& e) { return e.first == MessageMark; });
        QCOMPARE(s.smtp.messages(), sent ? QList{message} : QList<QByteArray>{});
        QCOMPARE(s.log.ids(), events);
        QCOMPARE(s.slot.SMTP.Socket.state(), SessionSocket::State::Closed);
    }

    // A server out of reach, or silent past the SMTP time-out (2 s), is "unreachable", with
    // the event that says why.
    void unreachable_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<qint32>("event");
        QTest::newRow("refused") << "refused" << 8002;
        QTest::newRow("no greeting") << "no greeting" << 8005;
        QTest::newRow("no answer to the data") << "no answer to the data" << 8005;
        QTest::newRow("no usable port") << "no port" << 9010;
    }
    void unreachable() {
        QFETCH(QString, situation);
        QFETCH(qint32, event);
        Session s;
        ServiceSettings& settings = s.slot.Settings;
        if (situation == "refused") {
            QTcpServer probe; // a port on which nothing listens
            probe.listen(QHostAddress::LocalHost, 0);
            settings.smtpPort = probe.serverPort();
        } else if (situation == "no port") {
            settings.smtpPort = std::nullopt;
        } else if (situation == "no answer to the data") {
            Play(s.smtp, "220 ready", Greeted() + Rcpt({"anna"}) + Exchange{{"data", "354 go on"}});
        }
        const qint32 start = s.clock.now();
        QCOMPARE(SendMessage(s.slot, {"x@y.org", {"anna"}, false}, Pieces), Delivery::Unreachable);
        QVERIFY(s.clock.now() - start <= 8); // the wait for the greeting, then for "quit"
        QCOMPARE(s.log.ids(), QList<qint32>{event});
    }
};

QTEST_GUILESS_MAIN(TestSendMessage)
#include "tst_sendmessage.moc"
