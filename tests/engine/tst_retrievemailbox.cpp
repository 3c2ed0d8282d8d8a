#include "DeliveredList.h"
#include "HeaderParse.h"
#include "MailScript.h"
#include "MemoryEventLog.h"
#include "RealTime.h"
#include "RetrieveMailbox.h"
#include "TestCertificates.h"

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
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

// An SMTP dialogue for one message, with these "rcpt to:" lines and this answer to the data.
Exchange Smtp(const Exchange& rcpts = {{"rcpt to: anna", "250 ok"}},
              const QByteArray& afterData = "250 queued") {
    return Exchange{{"HELO 127.0.0.1", "250 hello"}, {"mail from: x@y.org", "250 ok"}} + rcpts +
           Exchange{{"noop", {}},
                    {"data", "354 go on"},
                    {MessageMark, afterData},
                    {"noop", {}},
                    {"quit", "221 bye"}};
}

// A POP3 and an SMTP server, both answering every "noop", and a plain account on the first.
struct Session {
    RealTime clock{10};
    RealTimer timer{clock};
    SessionSlot slot{clock};
    ScriptedServer pop;
    ScriptedServer smtp;
    MemoryEventLog log;
    AccountRecord account;

    // capa: the answer to every CAPA, or none.
    explicit Session(const QByteArray& capa = "-ERR") {
        pop.answer("noop", "+OK");
        if (!capa.isEmpty())
            pop.answer("CAPA", capa);
        smtp.answer("noop", "250 ok");
        ConfigSettings s;
        s.SmtpServer = QStringLiteral("127.0.0.1");
        s.SmtpPort = QString::number(smtp.port());
        s.PostmasterMailbox = QStringLiteral("Administrator");
        s.LogMode = QStringLiteral("1");
        s.PopTimeout = s.SmtpTimeout = QStringLiteral("30");
        slot.Settings = ReadServiceSettings(s);
        // Plain by choice, so that no warning about the password joins the events.
        account.MailServer = QStringLiteral("pop3://127.0.0.1:%1").arg(pop.port());
        account.UserName = QStringLiteral("bob");
        account.Password = QStringLiteral("secret");
        account.ExchangeUser = QStringLiteral("anna");
    }
    // Greeting, USER, PASS and STAT, and where STAT counts messages, UIDL with uidl as its
    // answer, by default "n uid-n" for each.
    void login(const QByteArray& stat, QByteArray uidl = {}) {
        Play(pop, "+OK ready", {{"USER bob", "+OK"}, {"PASS secret", "+OK"}, {"STAT", stat}});
        const int count = ReadStatCount(stat).trimmed().toInt();
        QByteArray ids;
        for (int n = 1; n <= count; ++n)
            ids += "\r\n" + Number(n) + " uid-" + Number(n);
        if (uidl.isEmpty())
            uidl = "+OK" + ids;
        if (count > 0)
            pop.expect("UIDL").reply(uidl + (uidl.startsWith("+OK") ? "\r\n." : ""));
    }
    // LIST and RETR of message n, with the download sent as given.
    void retr(int n, const QByteArray& download = {}) {
        pop.expect("LIST " + Number(n))
            .reply("+OK " + Number(n) + " 80")
            .expect("RETR " + Number(n));
        pop.send(download.isNull() ? Download(n) : download);
    }
    // A domain mailbox with one message, the download as given, deleted once relayed.
    void domain(const QByteArray& download) {
        account.GlobalMailHost = true;
        account.RemoteDomain = QStringLiteral("example.com");
        login("+OK 1 120");
        retr(1, download);
        pop.expect("dele 1").reply("+OK").expect("quit").reply("+OK bye");
    }
    Lines popLines() const { return CollapsedNoops(pop.lines()); }
    Lines deletions() const {
        Lines out;
        for (const QByteArray& line : pop.lines())
            out << (line.startsWith("dele ") ? Lines{line} : Lines{});
        return out;
    }
    QString mismatches() const { return (pop.mismatches() + smtp.mismatches()).join('\n'); }
    // The account's list of delivered IDs as the service writes it, and the file.
    QByteArray list(const Lines& ids) const {
        return "# Hollimere: messages delivered from " + account.MailServer.toUtf8() +
               " for bob\n" + (ids.isEmpty() ? QByteArray() : ids.join('\n') + '\n');
    }
    QString listPath() const {
        return DeliveredList::PathFor(qEnvironmentVariable("HOLLIMERE_STATE_DIR"), account);
    }
    QByteArray listFile() const {
        QFile file(listPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

bool NoLogin(const Lines& lines) {
    return std::none_of(lines.begin(), lines.end(), [](const QByteArray& l) {
        return l.startsWith("USER") || l.startsWith("PASS");
    });
}

using Script = std::function<void(Session&)>;

} // namespace

Q_DECLARE_METATYPE(POPServer::Security)
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
        QVERIFY2(certs->issue(QStringLiteral("loopback"), {QStringLiteral("IP:127.0.0.1")}) &&
                     certs->issue(QStringLiteral("elsewhere"),
                                  {QStringLiteral("DNS:pop.other.example")}),
                 qPrintable(certs->error()));
    }

    // Each message is relayed as downloaded and deleted once the SMTP server has taken it
    // (unless kept). Where CAPA lists PIPELINING, the next message's commands go out with
    // the "dele"; otherwise every command waits for the reply before it.
    void messagesInOrder_data() {
        QTest::addColumn<QByteArray>("capa");
        QTest::addColumn<bool>("keep");
        QTest::newRow("deleted") << QByteArray("+OK\r\nUIDL\r\n.") << false;
        QTest::newRow("kept") << QByteArray("-ERR") << true;
        QTest::newRow("pipelined") << QByteArray("+OK\r\nPIPELINING\r\n.") << false;
    }
    void messagesInOrder() {
        QFETCH(QByteArray, capa);
        QFETCH(bool, keep);
        Session s(capa);
        s.account.KeepMailOnHost = keep;
        s.login("+OK 3 240");
        Lines expected = {"CAPA", "USER bob", "PASS secret", "STAT", "UIDL", "noop"};
        for (int n = 1; n <= 3; ++n) {
            s.retr(n);
            expected << "LIST " + Number(n) << "RETR " + Number(n) << "noop";
            if (!keep) {
                s.pop.expect("dele " + Number(n)).reply("+OK");
                expected << "dele " + Number(n);
            }
        }
        expected << (keep ? Lines{} : Lines{"noop"}) << "quit";
        s.pop.expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", Smtp());

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.popLines(), expected);
        QCOMPARE(s.smtp.messages(), (Lines{Relayed(1), Relayed(2), Relayed(3)}));
        QCOMPARE(s.listFile(), s.list({"uid-1", "uid-2", "uid-3"}));
        const bool pipelined = capa.contains("PIPELINING");
        QCOMPARE(s.slot.POP.Pipelining, pipelined);
        for (const Lines& batch : s.pop.batches())
            QVERIFY2(pipelined || batch.size() == 1, batch.join(' ').constData());
        QVERIFY(!pipelined ||
                s.pop.batches().contains(Lines{"noop", "dele 1", "LIST 2", "RETR 2"}));
        QCOMPARE(s.log.ids(), Ids{});
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // A session played as the script says: what is relayed, what is deleted (only what
    // the SMTP server accepted), the events, and the session's result.
    void session_data() {
        QTest::addColumn<Script>("script");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<Lines>("relayed");
        QTest::addColumn<Lines>("deletions");
        QTest::addColumn<Ids>("events");
        const auto row = [](const char* name, const Script& script, bool ok, Lines relayed,
                            Lines deletions, Ids events = {}) {
            QTest::newRow(name) << script << ok << relayed << deletions << events;
        };
        row("refused download and refused delivery stay",
            [](Session& s) {
                s.login("+OK 3 240");
                s.retr(1, "-ERR no such message\r\n");
                s.retr(2);
                s.retr(3);
                s.pop.expect("dele 3").reply("+OK").expect("quit").reply("+OK bye");
                Play(s.smtp, "220 ready", Smtp({{"rcpt to: anna", "250 ok"}}, "554 rejected"));
                Play(s.smtp.nextConnection(), "220 ready", Smtp());
            },
            true, {Relayed(2), Relayed(3)}, {"dele 3"});
        // The next message's commands went out with "dele 1": the rest stays unread.
        row("dele refused under pipelining ends the session",
            [](Session& s) {
                s.pop.answer("CAPA", "+OK\r\nPIPELINING\r\n.");
                s.login("+OK 3 240");
                s.retr(1);
                s.pop.expect("dele 1").expect("LIST 2").expect("RETR 2").reply("-ERR disk full");
                s.pop.reply("+OK 2 80").send(Download(2)).expect("quit").reply("+OK bye");
                Play(s.smtp, "220 ready", Smtp());
            },
            false, {Relayed(1)}, {"dele 1"}, {7200});
        row("SMTP server out of reach: no second download",
            [](Session& s) {
                QTcpServer closed;
                closed.listen(QHostAddress::LocalHost, 0);
                s.slot.Settings.smtpPort = closed.serverPort();
                s.login("+OK 3 240");
                s.retr(1);
                s.pop.expect("quit").reply("+OK bye");
            },
            false, {}, {}, {8002});
        for (const bool closes : {false, true}) {
            row(
                closes ? "wrong password, closed" : "wrong password",
                [closes](Session& s) {
                    Play(s.pop, "+OK ready",
                         {{"USER bob", "+OK"}, {"PASS secret", "-ERR invalid"}});
                    closes ? s.pop.close() : s.pop.expect("quit").reply("+OK bye");
                },
                false, {}, {}, closes ? Ids{7200, 8001} : Ids{7200});
            // The "quit" commits the deletion of message 1 where it can.
            row(
                closes ? "download cut short, closed" : "download cut short",
                [closes](Session& s) {
                    s.login("+OK 2 160");
                    s.retr(1);
                    s.pop.expect("dele 1").reply("+OK");
                    s.retr(2, Download(2).left(40));
                    closes ? s.pop.close() : s.pop.expect("quit").reply("+OK bye");
                    Play(s.smtp, "220 ready", Smtp());
                },
                false, {Relayed(1)}, {"dele 1"}, closes ? Ids{8003, 8001} : Ids{8003});
        }
        // A domain mailbox's Message-ID at the remote domain is no mailbox: refused, the real
        // recipient still gets the message; the unclosed bracket ends the search.
        const QByteArray header =
            "Message-ID: <1234@example.com>\r\nFrom: <x@y.org>\r\n"
            "To: <ann@example.com>\r\nCc: <bob\r\nSubject: hi\r\n\r\nHi\r\n.\r\n";
        row("domain mailbox, refused Message-ID",
            [header](Session& s) {
                s.domain("+OK\r\n" + header);
                Play(s.smtp, "220 ready",
                     Smtp({{"rcpt to: 1234@example.com", "550 no such user"},
                           {"rcpt to: ann@example.com", "250 ok"}}));
            },
            true, {header}, {"dele 1"}, {8100, 8004});
        QByteArray mass = "From: <x@y.org>\r\nTo: ";
        for (int i = 0; i <= MaxRecipients; ++i)
            mass += "<u" + Number(i) + "@example.com>, ";
        mass += "\r\nSubject: all\r\n\r\nHi\r\n.\r\n";
        row("domain mailbox, too many recipients: the postmaster",
            [mass](Session& s) {
                s.domain("+OK\r\n" + mass);
                Play(s.smtp, "220 ready", Smtp({{"rcpt to: Administrator", "250 ok"}}));
            },
            true, {mass}, {"dele 1"}, {8006});
        // A stop at one step of a session over three messages: every message the SMTP server
        // accepted is deleted before "quit", nothing else is.
        for (const QString step : {"stop during RETR 2", "stop during SMTP", "stop after the 250",
                                   "stop between messages"}) {
            const bool accepted = step.contains("250") || step.contains("between");
            row(qPrintable(step),
                [step, accepted](Session& s) {
                    const std::function<void()> stop = [&s] {
                        s.slot.RequestStop();
                    };
                    const auto stopAt = [&](const char* word) {
                        return step.contains(word) ? stop : [] {
                        };
                    };
                    s.login("+OK 3 240");
                    s.retr(1);
                    s.pop.expect("dele 1").reply("+OK");
                    Play(s.smtp, "220 ready", Smtp());
                    s.smtp.nextConnection();
                    s.retr(2, step.contains("RETR") ? Download(2).left(30) : QByteArray());
                    s.pop.call(stopAt("RETR"))
                        .send(step.contains("RETR") ? Download(2).mid(30) : "");
                    if (step.contains("SMTP")) {
                        Play(s.smtp, "220 ready", {{"HELO 127.0.0.1", "250 hello"}});
                        s.smtp.expect("mail from: x@y.org").call(stop).reply("250 ok");
                    } else { // the client has taken the 250 once it says "quit"
                        Play(s.smtp, "220 ready", Smtp().mid(0, 6));
                        s.smtp.expect("quit").call(stopAt("250")).reply("221 bye");
                    }
                    if (accepted)
                        s.pop.expect("dele 2").reply("+OK");
                    s.pop.call(stopAt("between")).expect("quit").reply("+OK bye");
                },
                false, accepted ? Lines{Relayed(1), Relayed(2)} : Lines{Relayed(1)},
                accepted ? Lines{"dele 1", "dele 2"} : Lines{"dele 1"}, {1003});
        }
    }
    void session() {
        QFETCH(Script, script);
        QFETCH(bool, ok);
        QFETCH(Lines, relayed);
        QFETCH(Lines, deletions);
        QFETCH(Ids, events);
        Session s;
        script(s);

        QCOMPARE(RetrieveMailbox(s.slot, s.account), ok);
        QCOMPARE(s.smtp.messages(), relayed);
        QCOMPARE(s.deletions(), deletions);
        QCOMPARE(s.log.ids(), events);
        // A session that fails ends with "quit" while the server listens.
        QCOMPARE(s.pop.lines().endsWith("quit"), !events.contains(8001));
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
        QCOMPARE(s.slot.POP.Socket.state(), SessionSocket::State::Closed);
    }

    // What the list of delivered IDs changes in a session over the messages 1 to count:
    // listed messages are never downloaded again (deleted unless kept), every delivery is
    // added, IDs gone from the server are dropped.
    void deliveredIDs_data() {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("pipelined");
        QTest::addColumn<Lines>("listed");    // {"damaged"}: a file that is no list
        QTest::addColumn<int>("count");       // -1: STAT refused
        QTest::addColumn<QByteArray>("uidl"); // empty: "uid-n" for each n
        QTest::addColumn<QList<int>>("fetched");
        QTest::addColumn<Lines>("after");
        QTest::addColumn<Ids>("events");
        const auto row = [](const char* name, bool keep, bool pipelined, Lines listed, int count,
                            const char* uidl, QList<int> fetched, Lines after, Ids events = {}) {
            QTest::newRow(name) << keep << pipelined << listed << count << QByteArray(uidl)
                                << fetched << after << events;
        };
        row("kept, one new between, gone ones dropped", true, false,
            {"uid-9", "uid-1", "uid-3", "uid-7"}, 3, "", {2}, {"uid-1", "uid-3", "uid-2"});
        row("not kept, lost deletions made up", false, false, {"uid-1", "uid-3"}, 3, "", {2},
            {"uid-1", "uid-3", "uid-2"});
        row("not kept, pipelined", false, true, {"uid-1", "uid-3"}, 4, "", {2, 4},
            {"uid-1", "uid-3", "uid-2", "uid-4"});
        row("damaged list set aside", true, false, {"damaged"}, 2, "", {1, 2}, {"uid-1", "uid-2"},
            {8030});
        row("an ID given twice tells nothing", true, false, {"uid-1", "same"}, 3,
            "+OK\r\n1 uid-1\r\n2 same\r\n3 same", {2, 3}, {"uid-1"});
        row("UIDL refused: delivered again, list untouched", true, false, {"uid-1"}, 1,
            "-ERR unknown", {1}, {"uid-1"}, {8022});
        row("empty mailbox empties the list", true, false, {"uid-1"}, 0, "", {}, {});
        row("STAT refused: list untouched", false, false, {"uid-1"}, -1, "", {}, {"uid-1"});
    }
    void deliveredIDs() {
        QFETCH(bool, keep);
        QFETCH(bool, pipelined);
        QFETCH(Lines, listed);
        QFETCH(int, count);
        QFETCH(QByteArray, uidl);
        QFETCH(QList<int>, fetched);
        QFETCH(Lines, after);
        QFETCH(Ids, events);
        Session s(pipelined ? "+OK\r\nPIPELINING\r\n." : "-ERR");
        s.account.KeepMailOnHost = keep;
        QFile file(s.listPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(listed == Lines{"damaged"} ? QByteArray("# Hollimere: messages\0\0", 23)
                                              : s.list(listed));
        file.close();
        s.login(count < 0 ? "-ERR no" : "+OK " + Number(count) + " 999", uidl);
        Lines deletions;
        for (int n = 1; n <= count; ++n) {
            if (!keep && !fetched.contains(n))
                deletions << "dele " + Number(n);
        }
        for (const QByteArray& dele : deletions) {
            s.pop.expect(dele);
            if (!pipelined)
                s.pop.reply("+OK");
        }
        for (qsizetype i = 0; pipelined && i < deletions.size(); ++i)
            s.pop.reply("+OK");
        Lines relayed;
        for (const int n : fetched) {
            s.retr(n);
            if (!keep) {
                deletions << "dele " + Number(n);
                s.pop.expect(deletions.last()).reply("+OK");
            }
            Play(s.smtp, "220 ready", Smtp());
            s.smtp.nextConnection();
            relayed << Relayed(n);
        }
        s.pop.expect("quit").reply("+OK bye");

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), relayed);
        QCOMPARE(s.deletions(), deletions);
        QCOMPARE(s.listFile(), s.list(after));
        QCOMPARE(s.log.ids(), events);
        // The deletions made up go out together where the server pipelines.
        QVERIFY(!pipelined || s.pop.batches().contains(Lines{"dele 1", "dele 3"}));
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // The ID is on the list by the time "dele" goes out: a server that closes the
    // connection there loses the deletion, and the next session makes it up without
    // downloading the message again.
    void idIsListedBeforeDele() {
        Session s;
        QByteArray listAtDele;
        s.login("+OK 1 80");
        s.retr(1);
        s.pop.expect("dele 1").call([&s, &listAtDele] { listAtDele = s.listFile(); }).close();
        s.pop.nextConnection();
        s.login("+OK 1 80");
        s.pop.expect("dele 1").reply("+OK").expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", Smtp());

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QCOMPARE(listAtDele, s.list({"uid-1"}));
        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), Lines{Relayed(1)});
        QCOMPARE(s.pop.lines().count("RETR 1"), 1);
        QCOMPARE(s.deletions(), (Lines{"dele 1", "dele 1"}));
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // A value with a line break would inject a command of its own: nothing is sent.
    void valueThatWouldInjectALineIsRefused_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("value");
        QTest::newRow("user name") << 0 << "bob\r\nDELE 1";
        QTest::newRow("password with NUL") << 1 << QString::fromLatin1("sec\0ret", 7);
        QTest::newRow("Exchange user") << 2 << "anna\r\nrcpt to: eve";
        QTest::newRow("postmaster") << 3 << "Admin\nrcpt to: eve";
    }
    void valueThatWouldInjectALineIsRefused() {
        QFETCH(int, field);
        QFETCH(QString, value);
        Session s;
        s.login("+OK 1 80");
        QString* fields[] = {&s.account.UserName, &s.account.Password, &s.account.ExchangeUser,
                             &s.slot.Settings.postmasterMailbox};
        *fields[field] = value;

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QTest::qWait(20);
        QCOMPARE(s.pop.connections(), 0);
        QCOMPARE(s.log.ids(), Ids{9000});
    }

    // Nothing of the login goes out until the handshake succeeded and the certificate was
    // verified (its authority and the name it is made out for); a failure ends the session
    // with the reason in words. After STLS the capabilities are asked again, inside TLS.
    void tls_data() {
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<QString>("certificate"); // empty: the server never starts TLS
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<Lines>("afterStls"); // in pieces 50 ms apart, before a failure
        QTest::addColumn<bool>("closes");
        QTest::addColumn<Ids>("events");
        QTest::addColumn<QString>("failure"); // empty: logged in
        const auto row = [](const char* name, bool implicit, const char* certificate, bool trusted,
                            Lines afterStls, bool closes, Ids events, const char* failure) {
            QTest::newRow(name) << implicit << QString::fromLatin1(certificate) << trusted
                                << afterStls << closes << events << QString::fromLatin1(failure);
        };
        const char* untrusted = "the certificate is not trusted";
        row("pop3s://, trusted", true, "loopback", true, {}, false, {}, "");
        row("pop3s://, not trusted", true, "loopback", false, {}, false, {8020}, untrusted);
        row("pop3s://, another host", true, "elsewhere", true, {}, false, {8020},
            "the certificate is for another host");
        row("STLS, trusted", false, "loopback", true, {}, false, {}, "");
        row("STLS, not trusted", false, "loopback", false, {}, false, {8020}, untrusted);
        const QByteArray begin = "+OK begin TLS\r\n";
        row("STLS refused", false, "", true, {"-ERR not now\r\n"}, false, {7200, 8020},
            "the server refused STLS (-ERR not now)");
        row("closed during the handshake", false, "", true, {begin}, true, {8020},
            "the server closed the connection during the TLS handshake");
        row("plain text instead of a handshake", false, "", true, {begin, "+OK\r\n"}, false, {8020},
            "the TLS handshake failed (");
        // The injected line came in plain text before the handshake: it is no reply.
        row("plain text injected after +OK, then silence", false, "", true,
            {begin + "+OK USER accepted\r\n"}, false, {8020}, "the TLS handshake timed out");
    }
    void tls() {
        QFETCH(bool, implicit);
        QFETCH(QString, certificate);
        QFETCH(bool, trusted);
        QFETCH(Lines, afterStls);
        QFETCH(bool, closes);
        QFETCH(Ids, events);
        QFETCH(QString, failure);
        Session s("+OK\r\nSTLS\r\nPIPELINING\r\n.");
        s.pop.answer("quit", "+OK bye");
        s.account.MailServer =
            QString::fromLatin1(implicit ? "pop3s://127.0.0.1:%1" : "127.0.0.1:%1")
                .arg(s.pop.port());
        if (!certificate.isEmpty())
            s.pop.useTls(certs->certificate(certificate), certs->key(certificate));
        trusted ? qputenv("HOLLIMERE_CA_FILE", certs->authority().toUtf8())
                : qunsetenv("HOLLIMERE_CA_FILE");
        if (implicit)
            s.pop.startTls();
        else if (!certificate.isEmpty()) // with a plain-text injection right after "+OK"
            s.pop.reply("+OK ready")
                .expect("STLS")
                .send("+OK go\r\n+OK\r\nUSER\r\n.\r\n")
                .startTls();
        else
            s.pop.reply("+OK ready").expect("STLS").sendPieces(afterStls, 50);
        if (closes)
            s.pop.close();
        s.login("+OK 0 0");

        const bool ok = RetrieveMailbox(s.slot, s.account);
        QTest::qWait(20);
        QCOMPARE(ok, failure.isEmpty());
        QCOMPARE(s.slot.POPEncryption.startsWith("TLS 1."), ok);
        QCOMPARE(s.log.ids(), events);
        const Lines login =
            (implicit ? Lines{} : Lines{"CAPA", "STLS"}) + Lines{"CAPA", "USER bob"};
        QCOMPARE(s.popLines().mid(0, login.size()) == login, ok);
        QVERIFY(ok || NoLogin(s.pop.lines()));
        const QString text = ok ? QString() : s.log.entries().last().text;
        QVERIFY2(ok || text.startsWith("Secure connection failed to: " + s.account.MailServer +
                                       ", " + failure),
                 qPrintable(text));
        QCOMPARE(s.slot.POP.Socket.state(), SessionSocket::State::Closed);
    }

    // A server that offers no STLS: the login goes out in plain text as before, and the
    // warning comes once per account while the process runs.
    void plainLoginIsWarnedOncePerAccount() {
        Session s("+OK\r\nUIDL\r\n.");
        s.account.MailServer = QStringLiteral("127.0.0.1:%1").arg(s.pop.port());
        for (int session = 0; session < 2; ++session) {
            s.login("+OK 0 0");
            s.pop.expect("quit").reply("+OK bye").nextConnection();
        }

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.pop.connections(), 2);
        QCOMPARE(s.log.ids(), Ids{8021});
        QCOMPARE(s.slot.POPEncryption, QString());
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    void serverAddress_data() {
        using S = POPServer::Security;
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::addColumn<S>("security");
        const auto row = [](const char* text, const char* host = "", int port = 0,
                            S security = S::STLSWhenOffered) {
            QTest::newRow(text) << QString::fromLatin1(text) << QString::fromLatin1(host) << port
                                << security;
        };
        row("pop.example.com", "pop.example.com", 110);
        row("pop.example.com:995", "pop.example.com", 995, S::ImplicitTLS);
        row("POP3S://pop.example.com:1995", "pop.example.com", 1995, S::ImplicitTLS);
        row("pop3://pop.example.com:995", "pop.example.com", 995, S::Plain);
        row("::1", "::1", 110);
        row("[::1]:995", "::1", 995, S::ImplicitTLS);
        row("pop3s://[2001:db8::5]", "2001:db8::5", 995, S::ImplicitTLS);
        for (const char* refused :
             {"pop.example.com:65536", "pop.example.com:", "pop3s://:995", "[::1]995"})
            row(refused);
    }
    void serverAddress() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(POPServer::Security, security);
        const std::optional<POPServer> server = POPServerAddress(text);
        QCOMPARE(server, host.isEmpty() ? std::nullopt
                                        : std::optional(POPServer{host, quint16(port), security}));
    }
};

QTEST_GUILESS_MAIN(TestRetrieveMailbox)
#include "tst_retrievemailbox.moc"
