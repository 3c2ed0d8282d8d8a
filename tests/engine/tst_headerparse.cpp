#include "HeaderParse.h"

#include <QTest>

namespace {

constexpr const char* Postmaster = "Administrator";

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
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("recipients");
        QTest::addColumn<bool>("fieldMissing");
        const auto row = [](const char* name, const char* header, const char* recipients,
                            bool fieldMissing = false) {
            QTest::newRow(name) << QByteArray(header) << QByteArray(recipients) << fieldMissing;
        };
        row("in order, each once, domain in any case",
            "From: <z@other.org>|To: A <anna@Example.COM>|Cc: <bob@example.com>, "
            "<anna@Example.COM>|Subject: hi",
            "anna@Example.COM bob@example.com");
        row("after the last known name: ignored",
            "To: <anna@example.com>|Subject: hi|Cc: <bob@example.com>", "anna@example.com");
        row("< without >: the search ends, the ones found stand",
            "To: <anna@example.com>|Cc: <bob@example.com|Subject: hi", "anna@example.com", true);
        row("none local: the postmaster", "To: <ann@elsewhere.net>|Subject: hi", Postmaster);
        row("injection: line break, blank or control character",
            "To: <x@example.com| rcpt to: boss@example.com>|Cc: <x@example.com y>|"
            "Cc: <y@example.com\x01>|Reply-To: <anna@example.com>",
            "anna@example.com");
        row("injection: delete inside brackets", "To: <x@example.com\x7f>|Subject: hi", Postmaster);
    }
    void recipients() {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, recipients);
        QFETCH(bool, fieldMissing);
        const QByteArray download = Download(header.split('|'));
        const PreparedMessage p = Prepare(download, QStringLiteral("EXAMPLE.com"));
        QCOMPARE(p.Recipients, recipients.split(' '));
        QCOMPARE(p.FieldMissing, fieldMissing);
        QCOMPARE(Prepare(download).Recipients, QList<QByteArray>{}); // single user: no search
    }

    // The envelope sender: the first bracket after "From: " when it holds a plain address
    // (one "@", one ".", nothing that could break a command), else the postmaster.
    void sender_data() {
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<QByteArray>("sender");
        const auto row = [](const char* name, const char* from, const QByteArray& sender) {
            QTest::newRow(name) << Download({from}) << sender;
        };
        row("display name", "From: \"Smith, A\" <a@example.net>", "a@example.net");
        row("three labels", "From: <a@mail.example.net>", Postmaster);
        row("two @", "From: <a@b@example.net>", Postmaster);
        row("injection: blank", "From: <a @example.net>", Postmaster);
        row("no From line", "To: <b@example.com>", Postmaster);
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
