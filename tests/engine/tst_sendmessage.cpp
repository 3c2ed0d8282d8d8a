#include "MailScript.h"
#include "SendMessage.h"
#include "StalledListener.h"

#include <QTest>

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
        row("blank sender: the postmaster", "  ", {},
            Greeted("Administrator") + Rcpt(anna) + DataAccepted, Delivery::Accepted, {});
        row("single user refused", "x@y.org", {}, Greeted() + Rcpt(anna, "550 unknown") + Quit,
            Delivery::Refused, {7211});
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
        SmtpBench s("3", "2");
        Play(s.smtp, "220-first line\r\n220 ready", exchange);

        const bool fromHeader = !recipients.isEmpty();
        QCOMPARE(
            SendMessage(s.slot,
                        {sender, fromHeader ? recipients : QList<QByteArray>{"anna"}, fromHeader},
                        Pieces),
            delivery);
        QVERIFY2(s.smtp.mismatches().isEmpty(), qPrintable(s.smtp.mismatches().join('\n')));
        QCOMPARE(s.smtp.messages(),
                 delivery == Delivery::Accepted ? QList{Pieces.join()} : QList<QByteArray>{});
        QCOMPARE(s.smtp.lines().last(), "quit");
        QCOMPARE(s.log.ids(), events);
        QCOMPARE(s.slot.SMTP.Socket.state(), SessionSocket::State::Closed);
    }

    // A server out of reach, or silent past the SMTP time-out (2 s), is "unreachable", with
    // the event that says why.
    void unreachable_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QList<qint32>>("events");
        QTest::newRow("never connected") << "stalled" << QList<qint32>{8005, 8000};
        QTest::newRow("no greeting") << "no greeting" << QList<qint32>{8005};
        QTest::newRow("no answer to the data") << "no answer to the data" << QList<qint32>{8005};
        QTest::newRow("no usable port") << "no port" << QList<qint32>{9010};
    }
    void unreachable() {
        QFETCH(QString, situation);
        QFETCH(QList<qint32>, events);
        SmtpBench s("3", "2");
        ServiceSettings& settings = s.slot.Settings;
        const StalledListener stalled;
        if (situation == "stalled") {
            settings.smtpPort = stalled.port();
        } else if (situation == "no port") {
            settings.smtpPort = std::nullopt;
        } else if (situation == "no answer to the data") {
            Play(s.smtp, "220 ready", Greeted() + Rcpt({"anna"}) + Exchange{{"data", "354 go on"}});
        }
        const qint32 start = s.clock.now();
        QCOMPARE(SendMessage(s.slot, {"x@y.org", {"anna"}, false}, Pieces), Delivery::Unreachable);
        QVERIFY(s.clock.now() - start <= 8); // the wait for the greeting, then for "quit"
        QCOMPARE(s.log.ids(), events);
    }
};

QTEST_GUILESS_MAIN(TestSendMessage)
#include "tst_sendmessage.moc"
