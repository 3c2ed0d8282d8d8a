#include "DeliveredList.h"
#include "HeaderParse.h"
#include "MailScript.h"
#include "RetrieveMailbox.h"
#include "TestCertificates.h"

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <functional>

namespace {

using Lines = QList<QByteArray>;
using Ids = QList<qint32>;

QByteArray Number(int n) {
    return QByteArray::number(n);
}

// What the SMTP server receives of message n: the download without its reply line.
QByteArray Relayed(int n) {
    return "Subject: message " + Number(n) + "\r\nFrom: <x@y.org>\r\n\r\nbody\r\n..\r\n.\r\n";
}

QByteArray Download(int n) {
    return "+OK 80 octets\r\n" + Relayed(n);
}

const Exchange Relay = Greeted() + Rcpt({"anna"}) + DataAccepted;

// A POP3 server too, answering every "noop", and a plain account on it.
struct Session : SmtpBench {
    ScriptedServer pop;
    AccountRecord account;

    // capa: the answer to every CAPA.
    explicit Session(const QByteArray& capa = "-ERR") : SmtpBench("1", "30") {
        pop.answer("noop", "+OK");
        smtp.answer("noop", "250 ok");
        pop.answer("CAPA", capa);
        // Plain by choice, so that no warning about the password joins the events.
        account.MailServer = QStringLiteral("pop3://127.0.0.1:%1").arg(pop.port());
        account.UserName = QStringLiteral("bob");
        account.Password = QStringLiteral("secret");
        account.ExchangeUser = QStringLiteral("anna");
    }
    // The login, STAT and, for messages, UIDL: as given, or "n uid-n" for each.
    void login(const QByteArray& stat, const QByteArray& uidl = {}) {
        Play(pop, "+OK ready", {{"USER bob", "+OK"}, {"PASS secret", "+OK"}, {"STAT", stat}});
        const int count = ReadStatCount(stat).trimmed().toInt();
        QByteArray ids = "+OK";
        for (int n = 1; n <= count; ++n)
            ids += "\r\n" + Number(n) + " uid-" + Number(n);
        if (count > 0)
            pop.expect("UIDL").reply(uidl.isEmpty() ? ids + "\r\n." : uidl);
    }
    // LIST and RETR of message n, with the download sent as given; then "dele n" if asked.
    void retr(int n, const QByteArray& download = {}, bool deleted = false) {
        pop.expect("LIST " + Number(n)).reply("+OK").expect("RETR " + Number(n));
        pop.send(download.isNull() ? Download(n) : download);
        if (deleted)
            dele(n);
    }
    void dele(int n) { pop.expect("dele " + Number(n)).reply("+OK"); }
    void quit() { pop.expect("quit").reply("+OK bye"); }
    void relay(const Exchange& exchange = Relay) {
        Play(smtp, "220 ready", exchange);
        smtp.nextConnection();
    }
    // A domain mailbox with one message, the download as given, deleted once relayed.
    void domain(const QByteArray& download, const Exchange& exchange) {
        account.GlobalMailHost = true;
        account.RemoteDomain = QStringLiteral("example.com");
        login("+OK 1 120");
        retr(1, download, true);
        relay(exchange);
    }
    QString mismatches() const { return (pop.mismatches() + smtp.mismatches()).join('\n'); }
};

using Script = std::function<void(Session&)>;

} // namespace

Q_DECLARE_METATYPE(Script)

class TestRetrieveMailbox : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::optional<TestCertificates> certs;

private slots:
    void initTestCase() {
        // Every session's account names a server port of its own, and so a list of its own.
        qputenv("HOLLIMERE_STATE_DIR", dir.path().toUtf8());
        certs.emplace(dir.filePath(QStringLiteral("certificates")));
        QVERIFY2(certs->issue("loopback", {"IP:127.0.0.1"}) &&
                     certs->issue("elsewhere", {"DNS:pop.other.example"}),
                 qPrintable(certs->error()));
    }

    // What is relayed and deleted (only what the SMTP server accepted) as a session goes.
    void session_data() {
        QTest::addColumn<RowCheck>("check");
        // Every POP3 script ends with "quit".
        const auto row = [](const char* name, bool ok, Lines relayed, Ids events,
                            const Script& script) {
            QTest::newRow(name) << RowCheck([=] {
                Session s;
                script(s);
                s.quit();
                QCOMPARE(RetrieveMailbox(s.slot, s.account), ok);
                QCOMPARE(s.smtp.messages(), relayed);
                QCOMPARE(s.log.ids(), events);
                // A session that fails ends with "quit" while the server listens.
                QCOMPARE(s.pop.lines().endsWith("quit"),
                         !events.contains(8001) && !events.contains(9000));
                QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
                QCOMPARE(s.slot.POP.Socket.state(), SessionSocket::State::Closed);
            });
        };
        row("refused download and refused delivery stay", true, {Relayed(2), Relayed(3)}, {},
            [](Session& s) {
                s.login("+OK 3 240");
                s.retr(1, "-ERR no such message\r\n");
                s.retr(2);
                s.retr(3, {}, true);
                s.relay(Greeted() + Rcpt({"anna"}) +
                        Exchange{{"data", "354 go on"}, {MessageMark, "554 rejected"}} + Quit);
                s.relay();
            });
        // The next message's commands went out with "dele 1": the rest stays unread.
        row("dele refused under pipelining ends the session", false, {Relayed(1)}, {7200},
            [](Session& s) {
                s.pop.answer("CAPA", "+OK\r\nPIPELINING\r\n.");
                s.login("+OK 3 240");
                s.retr(1);
                s.pop.expect("dele 1").expect("LIST 2").expect("RETR 2").reply("-ERR disk full");
                s.pop.reply("+OK 2 80").send(Download(2));
                s.relay();
            });
        row("SMTP server out of reach: no second download", false, {}, {8002}, [](Session& s) {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            s.slot.Settings.smtpPort = closed.serverPort();
            s.login("+OK 3 240");
            s.retr(1);
        });
        row("wrong password", false, {}, {7200}, [](Session& s) {
            Play(s.pop, "+OK ready", {{"USER bob", "+OK"}, {"PASS secret", "-ERR invalid"}});
        });
        row("download cut short, closed", false, {Relayed(1)}, {8003, 8001}, [](Session& s) {
            s.login("+OK 2 160");
            s.retr(1, {}, true);
            s.retr(2, Download(2).left(40));
            s.pop.close();
            s.relay();
        });
        // A Message-ID at the remote domain is refused, the recipient still gets it.
        const QByteArray header =
            "Message-ID: <1234@example.com>\r\nFrom: <x@y.org>\r\n"
            "To: <ann@example.com>\r\nCc: <bob\r\nSubject: hi\r\n\r\nHi\r\n.\r\n";
        row("domain mailbox, refused Message-ID", true, {header}, {8100, 8004}, [=](Session& s) {
            s.domain("+OK\r\n" + header, Greeted() +
                                             Rcpt({"1234@example.com"}, "550 no such user") +
                                             Rcpt({"ann@example.com"}) + DataAccepted);
        });
        QByteArray mass = "From: <x@y.org>\r\nTo: ";
        for (int i = 0; i <= MaxRecipients; ++i)
            mass += "<u" + Number(i) + "@example.com>, ";
        mass += "\r\nSubject: all\r\n\r\nHi\r\n.\r\n";
        row("domain mailbox, too many recipients: the postmaster", true, {mass}, {8006},
            [=](Session& s) {
                s.domain("+OK\r\n" + mass, Greeted() + Rcpt({"Administrator"}) + DataAccepted);
            });
        // A value that would inject a command of its own: nothing is sent.
        row("user name", false, {}, {9000},
            [](Session& s) { s.account.UserName = "bob\r\nDELE 1"; });
        row("password", false, {}, {9000},
            [](Session& s) { s.account.Password = QString::fromLatin1("se\0t", 4); });
        row("Exchange user", false, {}, {9000},
            [](Session& s) { s.account.ExchangeUser = "anna\r\nrcpt to: eve"; });
        row("postmaster", false, {}, {9000},
            [](Session& s) { s.slot.Settings.postmasterMailbox = "A\nrcpt to: e"; });
        // Stops in RETR 2, at "mail from", at "quit" (the 250 taken): only what was accepted goes.
        const char* stops[] = {"stop during RETR 2", "stop during SMTP", "stop after the 250"};
        for (int at = 0; at < 3; ++at) {
            const Lines relayed = Lines{Relayed(1)} + (at == 2 ? Lines{Relayed(2)} : Lines{});
            row(stops[at], false, relayed, {1003}, [at](Session& s) {
                s.login("+OK 3 240");
                s.retr(1, {}, true);
                s.relay();
                s.retr(2, at == 0 ? Download(2).left(30) : QByteArray(), at == 2);
                if (at == 0)
                    s.pop.call([&s] { s.slot.RequestStop(); }).send(Download(2).mid(30));
                if (at > 0) {
                    const qsizetype k = at == 1 ? 1 : 5;
                    Play(s.smtp, "220 ready", Relay.mid(0, k));
                    s.smtp.expect(Relay[k].first).call([&s] { s.slot.RequestStop(); });
                    s.smtp.reply(Relay[k].second);
                }
            });
        }
    }
    void session() { RunCheck(); }

    // Listed IDs are not downloaded again (but deleted unless kept), new added, gone dropped.
    void deliveredIDs_data() {
        QTest::addColumn<RowCheck>("check");
        // listed {"damaged"}: no list; count -1: STAT refused; uidl empty: "uid-n" for each n.
        const auto row = [](const char* name, bool keep, Lines listed, int count, const char* uidl,
                            QList<int> fetched, Lines after, Ids events = {}) {
            QTest::newRow(name) << RowCheck([=] {
                Session s;
                s.account.KeepMailOnHost = keep;
                // The account's list of delivered IDs as the service writes it.
                const auto list = [&s](const Lines& ids) {
                    return "# Hollimere: messages delivered from " + s.account.MailServer.toUtf8() +
                           " for bob\n" + (ids.isEmpty() ? QByteArray() : ids.join('\n') + '\n');
                };
                QFile file(
                    DeliveredList::PathFor(qEnvironmentVariable("HOLLIMERE_STATE_DIR"), s.account));
                QVERIFY(file.open(QIODevice::WriteOnly) &&
                        file.write(listed == Lines{"damaged"}
                                       ? QByteArray("# Hollimere: messages\0\0", 23)
                                       : list(listed)) > 0);
                file.close();
                s.login(count < 0 ? "-ERR no" : "+OK " + Number(count) + " 999", uidl);
                for (int n = 1; !keep && n <= count; ++n)
                    if (!fetched.contains(n))
                        s.dele(n);
                for (const int n : fetched) {
                    s.retr(n, {}, !keep);
                    s.relay();
                }
                s.quit();

                QVERIFY(RetrieveMailbox(s.slot, s.account));
                QCOMPARE(s.smtp.messages().size(), fetched.size());
                QVERIFY(file.open(QIODevice::ReadOnly));
                QCOMPARE(file.readAll(), list(after));
                QCOMPARE(s.log.ids(), events);
                // Without pipelining each command waits for the reply before it.
                for (const Lines& batch : s.pop.batches())
                    QVERIFY2(batch.size() == 1, batch.join(' ').constData());
                QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
            });
        };
        row("kept, one new between, gone ones dropped", true, {"uid-9", "uid-1", "uid-3", "uid-7"},
            3, "", {2}, {"uid-1", "uid-3", "uid-2"});
        row("not kept, lost deletions made up", false, {"uid-1", "uid-3"}, 3, "", {2},
            {"uid-1", "uid-3", "uid-2"});
        row("damaged list set aside", true, {"damaged"}, 2, "", {1, 2}, {"uid-1", "uid-2"}, {8030});
        row("an ID given twice tells nothing", true, {"uid-1", "same"}, 3,
            "+OK\r\n1 uid-1\r\n2 same\r\n3 same\r\n.", {2, 3}, {"uid-1"});
        row("UIDL refused: delivered again, list untouched", true, {"uid-1"}, 1, "-ERR unknown",
            {1}, {"uid-1"}, {8022});
        row("empty mailbox empties the list", true, {"uid-1"}, 0, "", {}, {});
        row("STAT refused: list untouched", false, {"uid-1"}, -1, "", {}, {"uid-1"});
    }
    void deliveredIDs() { RunCheck(); }
    // No login before the certificate was verified, a failure says why; after STLS, CAPA again.
    void tls_data() {
        QTest::addColumn<RowCheck>("check");
        // certificate empty: no TLS; afterStls: pieces 50 ms apart, null closes; failure empty: ok.
        const auto row = [this](const char* name, bool implicit, const QString& certificate,
                                Lines afterStls, Ids events, const QString& failure) {
            QTest::newRow(name) << RowCheck([=, this] {
                Session s("+OK\r\nSTLS\r\nPIPELINING\r\n.");
                s.pop.answer("quit", "+OK bye");
                s.account.MailServer.replace(QStringLiteral("pop3://"),
                                             QString::fromLatin1(implicit ? "pop3s://" : ""));
                const QString name = certificate == "elsewhere" ? certificate : "loopback";
                certificate != "untrusted"
                    ? qputenv("HOLLIMERE_CA_FILE", certs->authority().toUtf8())
                    : qunsetenv("HOLLIMERE_CA_FILE");
                if (!implicit)
                    s.pop.reply("+OK ready").expect("STLS");
                for (const QByteArray& piece : afterStls)
                    piece.isNull() ? s.pop.close() : s.pop.pause(50).send(piece);
                if (!implicit && !certificate.isEmpty()) // with a plain-text injection after "+OK"
                    s.pop.send("+OK go\r\n+OK\r\nUSER\r\n.\r\n");
                if (!certificate.isEmpty())
                    s.pop.startTls(certs->certificate(name), certs->key(name));
                s.login("+OK 0 0");

                const bool ok = RetrieveMailbox(s.slot, s.account);
                QTest::qWait(20);
                QCOMPARE(ok, failure.isEmpty());
                QCOMPARE(s.slot.POPEncryption.startsWith("TLS 1."), ok);
                QCOMPARE(s.log.ids(), events);
                const Lines login =
                    (implicit ? Lines{} : Lines{"CAPA", "STLS"}) + Lines{"CAPA", "USER bob"};
                QCOMPARE(s.pop.lines().mid(0, login.size()) == login, ok);
                QVERIFY(ok || !s.pop.lines().contains("USER bob"));
                QVERIFY(ok || s.log.entries().last().text.contains(", " + failure));
                QCOMPARE(s.slot.POP.Socket.state(), SessionSocket::State::Closed);
            });
        };
        row("pop3s://, trusted", true, "loopback", {}, {}, "");
        row("pop3s://, not trusted", true, "untrusted", {}, {8020},
            "the certificate is not trusted");
        row("pop3s://, another host", true, "elsewhere", {}, {8020},
            "the certificate is for another host");
        row("STLS, trusted", false, "loopback", {}, {}, "");
        const QByteArray begin = "+OK begin TLS\r\n";
        row("STLS refused", false, "", {"-ERR not now\r\n"}, {7200, 8020},
            "the server refused STLS (-ERR not now)");
        row("closed during the handshake", false, "", {begin, {}}, {8020},
            "the server closed the connection during the TLS handshake");
        row("plain text instead of a handshake", false, "", {begin, "+OK\r\n"}, {8020},
            "the TLS handshake failed (");
        // The injected line came in plain text before the handshake: it is no reply.
        row("plain text injected after +OK, then silence", false, "",
            {begin + "+OK USER accepted\r\n"}, {8020}, "the TLS handshake timed out");
    }
    void tls() { RunCheck(); }
    // Without STLS on offer the login goes out in plain text, with a warning once per account.
    void plainLoginIsWarnedOncePerAccount() {
        Session s("+OK\r\nUIDL\r\n.");
        s.account.MailServer = QStringLiteral("127.0.0.1:%1").arg(s.pop.port());
        s.login("+OK 0 0"); // for both connections
        s.quit();

        QVERIFY(RetrieveMailbox(s.slot, s.account) && RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.pop.lines().count("PASS secret"), 2);
        QCOMPARE(s.log.ids(), Ids{8021});
        QCOMPARE(s.slot.POPEncryption, QString());
    }

    void serverAddress_data() {
        using S = POPServer::Security;
        QTest::addColumn<RowCheck>("check");
        const auto row = [](const char* text, std::optional<POPServer> server = std::nullopt) {
            QTest::newRow(text) << RowCheck([=] { QCOMPARE(POPServerAddress(text), server); });
        };
        row("pop.example.com", POPServer{"pop.example.com", 110, S::STLSWhenOffered});
        row("pop.example.com:995", POPServer{"pop.example.com", 995, S::ImplicitTLS});
        row("POP3S://pop.example.com:1995", POPServer{"pop.example.com", 1995, S::ImplicitTLS});
        row("pop3://pop.example.com:995", POPServer{"pop.example.com", 995, S::Plain});
        row("::1", POPServer{QStringLiteral("::1"), 110, S::STLSWhenOffered});
        row("[::1]:995", POPServer{QStringLiteral("::1"), 995, S::ImplicitTLS});
        row("pop3s://[2001:db8::5]", POPServer{QStringLiteral("2001:db8::5"), 995, S::ImplicitTLS});
        for (const char* refused : {"pop.example.com:65536", "pop3s://:995", "[::1]995"})
            row(refused);
    }
    void serverAddress() { RunCheck(); }
};

QTEST_GUILESS_MAIN(TestRetrieveMailbox)
#include "tst_retrievemailbox.moc"
