#include "HeaderParse.h"
#include "MailScript.h"
#include "SendMessage.h"
#include "StalledListener.h"

namespace {

constexpr const char* Postmaster = "Administrator";

PreparedMessage Prepare(const QByteArray& download, const QString& remoteDomain = {},
                        const char* sendToPostmaster = "0") {
    AccountRecord a;
    a.GlobalMailHost = !remoteDomain.isNull();
    a.RemoteDomain = remoteDomain;
    ConfigSettings s;
    s.PostmasterMailbox = QString::fromLatin1(Postmaster);
    s.SendToPostmaster = QString::fromLatin1(sendToPostmaster);
    return PrepareMessage(download, a, ReadServiceSettings(s));
}

// The message as the POP3 server sent it: still dot-stuffed, ending with its "." line.
const QList<QByteArray> Pieces = {"Subject: dots\r\n\r\nFirst\r\n", "..\r\n..lead\r\n.\r\n"};

} // namespace

class TestSendMessage : public QObject {
    Q_OBJECT

private slots:
    // Only the reply lines in front go; the first header stays whole, folded lines too.
    void strip_data() {
        QTest::addColumn<RowCheck>("check");
        const auto row = [](const char* name, const QByteArray& download,
                            const QByteArray& message) {
            QTest::newRow(name) << RowCheck([=] {
                QCOMPARE(Prepare(download).Message, message);
                QCOMPARE(Prepare(download, QStringLiteral("example.com")).Message, message);
            });
        };
        const QByteArray rest = "Subject: hi\r\nTo: <anna@example.com>\r\n\r\nHello.\r\n.\r\n";
        const QByteArray dkim = "DKIM-Signature: v=1; d=example.org;\r\n\th=from:to; bh=47DE;\r\n";
        row("stray noop reply too", "+OK\r\n+OK 1\r\nX-Original-To: a\r\n" + rest,
            "X-Original-To: a\r\n" + rest);
        row("none", "Date: today\r\n" + rest, "Date: today\r\n" + rest);
        row("folded first header", "+OK\r\n" + dkim + rest, dkim + rest);
    }
    void strip() { RunCheck(); }

    // Sender: the first From bracket if a plain address; recipients: local addresses in brackets,
    // each once, up to the last known header. Else the postmaster; nothing that breaks a command.
    void header_data() {
        QTest::addColumn<RowCheck>("check");
        const auto row = [](const char* name, const QByteArray& header, const QByteArray& sender,
                            const QByteArray& recipients, bool fieldMissing = false) {
            QTest::newRow(name) << RowCheck([=] {
                const QByteArray download =
                    QByteArray("+OK 1 octets|" + header + "||Hello.|.|").replace('|', "\r\n");
                const PreparedMessage p = Prepare(download, QStringLiteral("EXAMPLE.com"));
                QCOMPARE(p.Sender + " to " + p.Recipients.join(' '), sender + " to " + recipients);
                QCOMPARE(p.FieldMissing, fieldMissing);
                const PreparedMessage single = Prepare(download, {}, "1");
                QCOMPARE(single.Sender, Postmaster);
                QCOMPARE(single.Recipients, QList<QByteArray>{}); // no search
            });
        };
        row("in order, each once, domain in any case; display name",
            "From: \"Smith, A\" <a@example.net>|To: A <anna@Example.COM>|Cc: <bob@example.com>, "
            "<anna@Example.COM>|Subject: hi",
            "a@example.net", "anna@Example.COM bob@example.com");
        row("after the last known name: ignored; three labels",
            "From: <a@mail.example.net>|To: <anna@example.com>|Subject: hi|Cc: <bob@example.com>",
            Postmaster, "anna@example.com");
        row("< without >: the search ends, the ones found stand; two @",
            "From: <a@b@example.net>|To: <anna@example.com>|Cc: <bob@example.com|Subject: hi",
            Postmaster, "anna@example.com", true);
        row("none local, no From line: the postmaster", "To: <ann@elsewhere.net>|Subject: hi",
            Postmaster, Postmaster);
        row("injection: line break, blank or control character",
            "From: <a @example.net>|To: <x@example.com| rcpt to: boss@example.com>|"
            "Cc: <x@example.com y>|Cc: <y@example.com\x01>|Reply-To: <anna@example.com>",
            Postmaster, "anna@example.com");
        row("injection: delete inside brackets", "To: <x@example.com\x7f>|Subject: hi", Postmaster,
            Postmaster);
    }
    void header() { RunCheck(); }

    // An empty recipient list stands for a single-user account's one recipient, "anna".
    void dialogue_data() {
        QTest::addColumn<RowCheck>("check");
        const auto row = [](const char* name, const QByteArray& sender,
                            QList<QByteArray> recipients, const Exchange& exchange,
                            Delivery delivery, QList<qint32> events) {
            QTest::newRow(name) << RowCheck([=] {
                SmtpBench s("3", "2");
                s.smtp.answer("noop", "250 ok");
                Play(s.smtp, "220-first line\r\n220 ready", exchange);
                const bool fromHeader = !recipients.isEmpty();
                const Envelope envelope{sender, fromHeader ? recipients : QList<QByteArray>{"anna"},
                                        fromHeader};
                QCOMPARE(SendMessage(s.slot, envelope, Pieces), delivery);
                QCOMPARE(s.smtp.mismatches().join('\n'), QString());
                QCOMPARE(s.smtp.messages(), delivery == Delivery::Accepted ? QList{Pieces.join()}
                                                                           : QList<QByteArray>{});
                QCOMPARE(s.smtp.lines().last(), "quit");
                QCOMPARE(s.log.ids(), events);
                QCOMPARE(s.slot.SMTP.Socket.state(), SessionSocket::State::Closed);
            });
        };
        const QList<QByteArray> three = {"a@example.com", "b@example.com", "c@example.com"};
        row("blank sender: the postmaster", "  ", {},
            Greeted("Administrator") + Rcpt({"anna"}) + DataAccepted, Delivery::Accepted, {});
        row("single user refused", "x@y.org", {}, Greeted() + Rcpt({"anna"}, "550 unknown") + Quit,
            Delivery::Refused, {7211});
        row("only 550s: the postmaster", "x@y.org", three.mid(0, 2),
            Greeted() + Rcpt(three.mid(0, 2), "550 no") + Rcpt({"Administrator"}) + DataAccepted,
            Delivery::Accepted, {7211, 8004, 7211, 8004});
        row("postmaster refused too", "x@y.org", three.mid(0, 1),
            Greeted() + Rcpt({three[0], "Administrator"}, "550 no") + Quit, Delivery::Refused,
            {7211, 8004, 7211});
        row("no answer to the data", "x@y.org", {},
            Greeted() + Rcpt({"anna"}) + Exchange{{"data", "354 go on"}}, Delivery::Unreachable,
            {8005});
        row("a 451 fails it for everybody", "x@y.org", three,
            Greeted() + Rcpt(three.mid(0, 1)) + Rcpt(three.mid(1, 1), "451 later") + Quit,
            Delivery::Refused, {7211});
    }
    void dialogue() { RunCheck(); }

    // A server out of reach or silent past the time-out (2 s) is "unreachable".
    void unreachable_data() {
        QTest::addColumn<QList<qint32>>("events"); // 8000: stalled; 9010: no port
        QTest::newRow("never connected") << QList<qint32>{8005, 8000};
        QTest::newRow("no greeting") << QList<qint32>{8005};
        QTest::newRow("no usable port") << QList<qint32>{9010};
    }
    void unreachable() {
        QFETCH(QList<qint32>, events);
        SmtpBench s("3", "2");
        const StalledListener stalled;
        if (events.contains(8000))
            s.slot.Settings.smtpPort = stalled.port();
        if (events.contains(9010))
            s.slot.Settings.smtpPort = std::nullopt;
        const qint32 start = s.clock.now();
        QCOMPARE(SendMessage(s.slot, {"x@y.org", {"anna"}, false}, Pieces), Delivery::Unreachable);
        QVERIFY(s.clock.now() - start <= 8); // the wait for the greeting, then for "quit"
        QCOMPARE(s.log.ids(), events);
    }
};

QTEST_GUILESS_MAIN(TestSendMessage)
#include "tst_sendmessage.moc"
