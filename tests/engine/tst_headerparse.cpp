#include "HeaderParse.h"

#include <QTest>

namespace {

const QByteArray Postmaster = "Administrator";

// A download as RETR brings it: the reply line, header lines, a body, the final ".".
QByteArray Download(const QList<QByteArray>& headerLines) {
    return "+OK 1234 octets\r\n" + headerLines.join("\r\n") + "\r\n\r\nHello.\r\n.\r\n";
}

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

} // namespace

class TestHeaderParse : public QObject {
    Q_OBJECT

private slots:
    // Only the reply lines in front go; the first header stays whole, folded lines too.
    void strip_data() {
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<QByteArray>("message");
        const QByteArray rest = "Subject: hi\r\nTo: <anna@example.com>\r\n\r\nHello.\r\n.\r\n";
        const QByteArray dkim = "DKIM-Signature: v=1; d=example.org;\r\n\th=from:to; bh=47DE;\r\n";
        QTest::newRow("reply line")
            << "+OK 1 octets\r\nReceived: a\r\n" + rest << "Received: a\r\n" + rest;
        QTest::newRow("stray noop reply too")
            << "+OK\r\n+OK 1\r\nX-Original-To: a\r\n" + rest << "X-Original-To: a\r\n" + rest;
        QTest::newRow("none") << "Date: today\r\n" + rest << "Date: today\r\n" + rest;
        QTest::newRow("folded first header") << "+OK\r\n" + dkim + rest << dkim + rest;
    }
    void strip() {
        QFETCH(QByteArray, download);
        QFETCH(QByteArray, message);
        QCOMPARE(Prepare(download).Message, message);
        QCOMPARE(Prepare(download, QStringLiteral("example.com")).Message, message);
    }

    // A domain mailbox's recipients: the bracketed local addresses up to the line of the
    // last known header name, each once; nobody local found, the postmaster. An address
    // that could carry a line break into a command is never taken.
    void recipients_data() {
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<QString>("remoteDomain");
        QTest::addColumn<QList<QByteArray>>("recipients");
        QTest::addColumn<bool>("fieldMissing");
        using L = QList<QByteArray>;
        const QString example = QStringLiteral("example.com");
        QTest::newRow("in order, each once, domain in any case")
            << Download({"From: <z@other.org>", "To: A <anna@Example.COM>",
                         "Cc: <bob@example.com>, <anna@Example.COM>", "Subject: hi"})
            << "EXAMPLE.com" << L{"anna@Example.COM", "bob@example.com"} << false;
        QTest::newRow("after the last known name: ignored")
            << Download({"To: <anna@example.com>", "Subject: hi", "Cc: <bob@example.com>"})
            << example << L{"anna@example.com"} << false;
        QTest::newRow("< without >: the search ends, the ones found stand")
            << Download({"To: <anna@example.com>", "Cc: <bob@example.com", "Subject: hi"})
            << example << L{"anna@example.com"} << true;
        QTest::newRow("none local: the postmaster")
            << Download({"To: <ann@elsewhere.net>", "Subject: hi"}) << example << L{Postmaster}
            << false;
        QTest::newRow("injection: line break inside brackets")
            << Download({"To: <x@example.com", " rcpt to: boss@example.com>", "Subject: hi"})
            << example << L{Postmaster} << false;
        QTest::newRow("injection: blank or control character")
            << Download({"To: <x@example.com rcpt to:boss@example.com>", "Cc: <y@example.com\x01>",
                         "Reply-To: <anna@example.com>"})
            << example << L{"anna@example.com"} << false;
        QTest::newRow("injection: delete inside brackets")
            << Download({"To: <x@example.com\x7f>", "Subject: hi"}) << example << L{Postmaster}
            << false;
    }
    void recipients() {
        QFETCH(QByteArray, download);
        QFETCH(QString, remoteDomain);
        QFETCH(QList<QByteArray>, recipients);
        QFETCH(bool, fieldMissing);
        const PreparedMessage p = Prepare(download, remoteDomain);
        QCOMPARE(p.Recipients, recipients);
        QCOMPARE(p.FieldMissing, fieldMissing);
        QCOMPARE(Prepare(download).Recipients, QList<QByteArray>{}); // single user: no search
    }

    // The envelope sender: the first bracket after "From: " when it holds a plain address
    // (one "@", one ".", nothing that could break a command), else the postmaster.
    void sender_data() {
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<QByteArray>("sender");
        QTest::newRow("display name")
            << Download({"From: \"Smith, A\" <a@example.net>"}) << QByteArray("a@example.net");
        QTest::newRow("three labels") << Download({"From: <a@mail.example.net>"}) << Postmaster;
        QTest::newRow("two @") << Download({"From: <a@b@example.net>"}) << Postmaster;
        QTest::newRow("injection: folded line inside brackets")
            << Download({"From: <a@exa", " mple.net>"}) << Postmaster;
        QTest::newRow("injection: blank") << Download({"From: <a @example.net>"}) << Postmaster;
        QTest::newRow("no From line") << Download({"To: <b@example.com>"}) << Postmaster;
    }
    void sender() {
        QFETCH(QByteArray, download);
        QFETCH(QByteArray, sender);
        QCOMPARE(Prepare(download).Sender, sender);
        QCOMPARE(Prepare(download, {}, "1").Sender, Postmaster);
    }
};

QTEST_GUILESS_MAIN(TestHeaderParse)
#include "tst_headerparse.moc"
