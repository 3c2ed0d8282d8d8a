#include "HeaderParse.h"
#include "RealTime.h"
#include "ScriptedServer.h"
#include "SessionSlot.h"

#include <QFile>
#include <QTest>

namespace {

const QByteArray Postmaster = "Administrator";

// A download as RETR brings it: the reply line, header lines, a body, the final ".".
QByteArray Download(const QList<QByteArray>& headerLines) {
    return "+OK 1234 octets\r\n" + headerLines.join("\r\n") + "\r\n\r\nHello.\r\n.\r\n";
}

AccountRecord DomainAccount(const QString& remoteDomain = QStringLiteral("example.com")) {
    AccountRecord a;
    a.GlobalMailHost = true;
    a.RemoteDomain = remoteDomain;
    return a;
}

ServiceSettings Settings(const QString& sendToPostmaster = QStringLiteral("0")) {
    ConfigSettings s;
    s.PostmasterMailbox = QString::fromLatin1(Postmaster);
    s.SendToPostmaster = sendToPostmaster;
    s.LogMode = QStringLiteral("1");
    return ReadServiceSettings(s);
}

} // namespace

class TestHeaderParse : public QObject {
    Q_OBJECT

private slots:
    void stripKeepsTheFirstHeaderWhole_data() {
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<QByteArray>("message");
        const QByteArray rest = "Subject: hi\r\nTo: <anna@example.com>\r\n\r\nHello.\r\n.\r\n";
        QTest::newRow("reply line")
            << "+OK 1234 octets\r\nReceived: from a\r\n" + rest << "Received: from a\r\n" + rest;
        QTest::newRow("stray reply to noop before it")
            << "+OK\r\n+OK 1234 octets\r\nReturn-Path: <x@y.org>\r\n" + rest
            << "Return-Path: <x@y.org>\r\n" + rest;
        QTest::newRow("no reply line") << "Date: today\r\n" + rest << "Date: today\r\n" + rest;
        for (const QByteArray& first :
             {QByteArray("X-Original-To: anna@example.com"),
              QByteArray("X-Apparently-To: anna@example.com; Mon, 1 Dec 2025 10:00:00 +0000"),
              QByteArray("Delivered-To: anna@example.com"),
              QByteArray("Return-Path: <bounce@lists.example.org>"),
              QByteArray("X-Spam-Score: 0.1")})
            QTest::newRow(first.constData())
                << "+OK message follows\r\n" + first + "\r\n" + rest << first + "\r\n" + rest;
        const QByteArray dkim =
            "DKIM-Signature: v=1; a=rsa-sha256; d=example.org; s=k1;\r\n"
            "\th=from:to:subject:date; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMp;\r\n"
            "\tb=dzdVyOfAKCdLXdJOc9G2q8LoXSlEniSbav+yuU4zGeeruD00lszZVoG4ZHRNiYzR\r\n";
        QTest::newRow("folded DKIM-Signature") << "+OK\r\n" + dkim + rest << dkim + rest;
    }
    void stripKeepsTheFirstHeaderWhole() {
        QFETCH(QByteArray, download);
        QFETCH(QByteArray, message);
        QCOMPARE(PrepareMessage(download, AccountRecord(), Settings()).Message, message);
    }

    void recipientsOfADomainMailbox_data() {
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<QString>("remoteDomain");
        QTest::addColumn<QList<QByteArray>>("recipients");
        QTest::addColumn<bool>("fieldMissing");
        using L = QList<QByteArray>;
        QTest::newRow("To and Cc in order")
            << Download({"From: Zed <zed@other.org>", "To: Anna <anna@example.com>",
                         "Cc: <bob@example.com>", "Subject: hi"})
            << "example.com" << L{"anna@example.com", "bob@example.com"} << false;
        QTest::newRow("a repeat is not added")
            << Download({"To: <anna@example.com>", "Cc: <bob@example.com>, <anna@example.com>",
                         "Subject: hi"})
            << "example.com" << L{"anna@example.com", "bob@example.com"} << false;
        QTest::newRow("domain ignores case, the repeat test does not")
            << Download({"To: <Anna@EXAMPLE.com>", "Cc: <anna@example.com>", "Subject: hi"})
            << "Example.COM" << L{"Anna@EXAMPLE.com", "anna@example.com"} << false;
        QTest::newRow("only foreign addresses: the postmaster")
            << Download({"From: <zed@other.org>", "To: <ann@elsewhere.net>", "Subject: hi"})
            << "example.com" << L{Postmaster} << false;
        QTest::newRow("foreign before local: the local one alone")
            << Download({"Return-Path: <zed@other.org>", "To: <anna@example.com>", "Subject: hi"})
            << "example.com" << L{"anna@example.com"} << false;
        QTest::newRow("after the line of the last name: ignored")
            << Download({"To: <anna@example.com>", "Subject: hi", "Cc: <bob@example.com>"})
            << "example.com" << L{"anna@example.com"} << false;
        QTest::newRow("several in one bracket")
            << Download({"To: <anna@example.com,bob@example.com>", "Subject: hi"}) << "example.com"
            << L{"anna@example.com", "bob@example.com"} << false;
        QTest::newRow("< without >: 8100, the ones found stand")
            << Download({"To: <anna@example.com>", "Cc: <bob@example.com", "Subject: hi"})
            << "example.com" << L{"anna@example.com"} << true;
        QTest::newRow("no remote domain: the postmaster")
            << Download({"To: <anna@example.com>", "Subject: hi"}) << "" << L{Postmaster} << false;
        QTest::newRow("no bracketed address at all: the postmaster")
            << Download({"To: anna@example.com", "Subject: hi"}) << "example.com" << L{Postmaster}
            << false;
        QTest::newRow("< without > before any local address: the postmaster")
            << Download({"To: <anna@example.com", "Subject: hi"}) << "example.com" << L{Postmaster}
            << true;
        QTest::newRow("folded line break inside brackets")
            << Download({"To: <x@example.com", " rcpt to: boss@example.com>", "Subject: hi"})
            << "example.com" << L{Postmaster} << false;
        QTest::newRow("blank or control character inside brackets")
            << Download({"To: <x@example.com rcpt to:boss@example.com>", "Cc: <y@example.com\x01>",
                         "Reply-To: <anna@example.com>"})
            << "example.com" << L{"anna@example.com"} << false;
    }
    void recipientsOfADomainMailbox() {
        QFETCH(QByteArray, download);
        QFETCH(QString, remoteDomain);
        QFETCH(QList<QByteArray>, recipients);
        QFETCH(bool, fieldMissing);
        const PreparedMessage p = PrepareMessage(download, DomainAccount(remoteDomain), Settings());
        QCOMPARE(p.Recipients, recipients);
        QCOMPARE(p.FieldMissing, fieldMissing);
    }

    void singleUserAccountSearchesNothing() {
        const auto p = PrepareMessage(Download({"To: <anna@example.com>", "Cc: <bob@example.com"}),
                                      AccountRecord(), Settings());
        QCOMPARE(p.Recipients, QList<QByteArray>{});
        QVERIFY(!p.FieldMissing);
    }

    void envelopeSender_data() {
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<QString>("sendToPostmaster");
        QTest::addColumn<QByteArray>("sender");
        QTest::newRow("display name")
            << Download({"From: \"Smith, Anna\" <anna@example.net>", "To: <bob@example.com>"})
            << "0" << QByteArray("anna@example.net");
        QTest::newRow("bare From: the next bracket")
            << Download({"From: anna@example.net", "To: Bob <bob@example.com>"}) << "0"
            << QByteArray("bob@example.com");
        QTest::newRow("SendToPostmaster 1")
            << Download({"From: <anna@example.net>"}) << "1" << Postmaster;
        QTest::newRow("three labels do not qualify")
            << Download({"From: <anna@mail.example.net>"}) << "0" << Postmaster;
        QTest::newRow("no From line") << Download({"To: <bob@example.com>"}) << "0" << Postmaster;
        QTest::newRow("lower-case from: does not count")
            << Download({"from: <anna@example.net>"}) << "0" << Postmaster;
        QTest::newRow("line break inside brackets")
            << Download({"From: <anna@exa", " mple.net>"}) << "0" << Postmaster;
    }
    void envelopeSender() {
        QFETCH(QByteArray, download);
        QFETCH(QString, sendToPostmaster);
        QFETCH(QByteArray, sender);
        QCOMPARE(PrepareMessage(download, AccountRecord(), Settings(sendToPostmaster)).Sender,
                 sender);
    }

    void isPlainAddress_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("plain");
        QTest::newRow("plain") << QByteArray("anna@example.net") << true;
        QTest::newRow("dot in the local part") << QByteArray("anna.smith@example.net") << false;
        QTest::newRow("no dot") << QByteArray("anna@localhost") << false;
        QTest::newRow("two @") << QByteArray("a@b@example.net") << false;
        QTest::newRow("quote") << QByteArray("\"a\"@example.net") << false;
        QTest::newRow("colon") << QByteArray("mailto:a@example.net") << false;
        QTest::newRow("CR LF") << QByteArray("a@exam\r\nple.net") << false;
        QTest::newRow("blank") << QByteArray("a @example.net") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void isPlainAddress() {
        QFETCH(QByteArray, text);
        QFETCH(bool, plain);
        QCOMPARE(IsPlainAddress(text), plain);
    }

    void downloadedMessageIsRelayedFromItsFirstHeader() {
        const QString path = QFINDTESTDATA("messages/newsletter.eml");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray message = file.readAll();
        RealTime clock(10);
        // Made first: loading the TLS library may take longer than the zero-second
        // time-out of these settings allows.
        SessionSlot slot(clock);
        RealTimer timer(clock);
        slot.Settings = Settings();
        ScriptedServer pop;
        pop.reply("+OK ready").expect("RETR 1").reply("+OK 1234 octets").sendFile(path);
        QVERIFY(slot.POP.open(QStringLiteral("127.0.0.1"), pop.port()));
        QVERIFY(slot.WaitPOPReply(slot.POP.greeting(), "+OK"));
        const auto download =
            slot.AwaitMessage(slot.POP.send("RETR 1", SessionSlot::Shape::Message).value());
        QVERIFY(download);

        const PreparedMessage p = PrepareMessage(download->text(), DomainAccount(), Settings());
        QCOMPARE(p.Sender, QByteArray("news@example.org"));
        QCOMPARE(p.Message, message);
        QCOMPARE(p.Recipients, (QList<QByteArray>{"anna@example.com", "bob@example.com"}));
    }
};

QTEST_GUILESS_MAIN(TestHeaderParse)
#include "tst_headerparse.moc"
