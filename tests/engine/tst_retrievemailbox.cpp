#include "DeliveredList.h"
#include "MailScript.h"
#include "MemoryEventLog.h"
#include "RealTime.h"
#include "RetrieveMailbox.h"
#include "TestCertificates.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int ShortSecondMs = 10;

// What the SMTP server receives of message n: the download without its reply line.
QByteArray Relayed(int n) {
    return "Subject: message " + QByteArray::number(n) +
           "\r\nFrom: <x@y.org>\r\n\r\nbody\r\n..\r\n.\r\n";
}

QByteArray Download(int n) {
    return "+OK 80 octets\r\n" + Relayed(n);
}

ServiceSettings Settings(quint16 smtpPort) {
    ConfigSettings s;
    s.SmtpServer = QStringLiteral("127.0.0.1");
    s.SmtpPort = QString::number(smtpPort);
    s.PostmasterMailbox = QStringLiteral("Administrator");
    s.SendToPostmaster = QStringLiteral("0");
    s.LogMode = QStringLiteral("1");
    s.PopTimeout = s.SmtpTimeout = QStringLiteral("30");
    return ReadServiceSettings(s);
}

// Plain by choice, so that no warning about the password joins the events; the TLS
// tests name the server in the other forms.
AccountRecord Account(quint16 popPort) {
    AccountRecord a;
    a.MailServer = QStringLiteral("pop3://127.0.0.1:%1").arg(popPort);
    a.UserName = QStringLiteral("bob");
    a.Password = QStringLiteral("secret");
    a.ExchangeUser = QStringLiteral("anna");
    return a;
}

const Exchange Login = {{"USER bob", "+OK"}, {"PASS secret", "+OK"}};

// The answer to UIDL that gives each of the numbers the ID "uid-" and its number.
QByteArray UniqueIDs(const QList<int>& numbers) {
    QByteArray answer = "+OK";
    for (const int n : numbers)
        answer += "\r\n" + QByteArray::number(n) + " uid-" + QByteArray::number(n);
    return answer + "\r\n.";
}

QList<int> Numbers(int first, int last) {
    QList<int> numbers;
    for (int n = first; n <= last; ++n)
        numbers.append(n);
    return numbers;
}

Exchange SmtpAccepting(const QByteArray& rcpt = "anna",
                       const QByteArray& afterData = "250 queued") {
    Exchange e = {{"HELO 127.0.0.1", "250 hello"}, {"mail from: x@y.org", "250 ok"},
                  {"rcpt to: " + rcpt, "250 ok"},  {"noop", {}},
                  {"data", "354 go on"},           {MessageMark, afterData}};
    if (afterData.startsWith("250"))
        e += Exchange{{"noop", {}}};
    e += Exchange{{"quit", "221 bye"}};
    return e;
}

// The file of a list of delivered IDs, as the service writes it.
QByteArray ListFile(const AccountRecord& account, const QList<QByteArray>& ids) {
    QByteArray text = "# Hollimere: messages delivered from " + account.MailServer.toUtf8() +
                      " for " + account.UserName.toUtf8() + "\n";
    for (const QByteArray& id : ids)
        text += id + "\n";
    return text;
}

struct Session {
    RealTime clock{ShortSecondMs};
    RealTimer timer{clock};
    SessionSlot slot{clock};
    ScriptedServer pop;
    ScriptedServer smtp;
    MemoryEventLog log;
    AccountRecord account;

    // capa: the answer to every CAPA, or none; answerNoop: every "noop" answered at once.
    explicit Session(const QByteArray& capa = "-ERR", bool answerNoop = true) {
        if (answerNoop)
            pop.answer("noop", "+OK");
        if (!capa.isEmpty())
            pop.answer("CAPA", capa);
        smtp.answer("noop", "250 ok");
        slot.Settings = Settings(smtp.port());
        account = Account(pop.port());
    }
    // Greeting, USER, PASS and STAT, and where STAT counts messages, UIDL with uidl as
    // its answer, by default an ID for each.
    void login(const QByteArray& stat, QByteArray uidl = {}) {
        Play(pop, "+OK ready", Login);
        pop.expect("STAT").reply(stat);
        const int count = ReadStatCount(stat).trimmed().toInt();
        if (count > 0)
            pop.expect("UIDL").reply(uidl.isEmpty() ? UniqueIDs(Numbers(1, count)) : uidl);
    }
    // LIST and RETR of message n, with the download sent as given.
    void retr(int n, const QList<QByteArray>& pieces, int pauseMs = 5) {
        const QByteArray number = QByteArray::number(n);
        pop.expect("LIST " + number).reply("+OK " + number + " 80").expect("RETR " + number);
        pop.sendPieces(pieces, pauseMs);
    }
    QList<QByteArray> popLines() const { return CollapsedNoops(pop.lines()); }
    QList<QByteArray> deletions() const {
        QList<QByteArray> out;
        for (const QByteArray& line : pop.lines()) {
            if (line.startsWith("dele "))
                out.append(line);
        }
        return out;
    }
    QString mismatches() const { return (pop.mismatches() + smtp.mismatches()).join('\n'); }

    QString listPath() const {
        return DeliveredList::PathFor(qEnvironmentVariable("HOLLIMERE_STATE_DIR"), account);
    }
    // The account's list file as it is now; empty when there is none.
    QByteArray listFile() const {
        QFile file(listPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeListFile(const QByteArray& text) const {
        QFile file(listPath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
};

} // namespace

Q_DECLARE_METATYPE(POPServer::Security)

class TestRetrieveMailbox : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::optional<TestCertificates> certs;

    // The server plays TLS with a certificate named name; the session trusts the
    // test's authority unless trusted is false.
    void useTls(Session& s, const QString& name, bool trusted = true) {
        s.pop.useTls(certs->certificate(name), certs->key(name));
        if (trusted)
            qputenv("HOLLIMERE_CA_FILE", certs->authority().toUtf8());
        else
            qunsetenv("HOLLIMERE_CA_FILE");
    }

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

    void emptyMailbox_data() {
        QTest::addColumn<QByteArray>("stat");
        QTest::newRow("+OK 0 0") << QByteArray("+OK 0 0");
        QTest::newRow("STAT refused") << QByteArray("-ERR no");
    }
    void emptyMailbox() {
        QFETCH(QByteArray, stat);
        Session s;
        s.login(stat);
        s.pop.expect("quit").reply("+OK bye");
        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.popLines(),
                 (QList<QByteArray>{"CAPA", "USER bob", "PASS secret", "STAT", "noop", "quit"}));
        QCOMPARE(s.smtp.connections(), 0);
        QCOMPARE(s.log.ids(), QList<qint32>{});
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    void everyMessageInOrder_data() {
        QTest::addColumn<bool>("keep");
        QTest::newRow("deleted") << false;
        QTest::newRow("KeepMailOnHost") << true;
    }
    void everyMessageInOrder() {
        QFETCH(bool, keep);
        Session s;
        s.account.KeepMailOnHost = keep;
        s.login("+OK 12 987");
        QList<QByteArray> expected = {"CAPA", "USER bob", "PASS secret", "STAT", "UIDL", "noop"};
        QList<QByteArray> relayed;
        for (int n = 1; n <= 12; ++n) {
            const QByteArray number = QByteArray::number(n);
            s.retr(n, {Download(n)});
            expected << "LIST " + number << "RETR " + number << "noop";
            if (!keep) {
                s.pop.expect("dele " + number).reply("+OK");
                expected << "dele " + number;
            }
            relayed << Relayed(n);
        }
        if (!keep)
            expected << "noop";
        expected << "quit";
        s.pop.expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", SmtpAccepting());

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.popLines(), expected);
        QCOMPARE(s.smtp.messages(), relayed);
        QCOMPARE(s.smtp.connections(), 12);
        QCOMPARE(s.log.ids(), QList<qint32>{});
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // Where CAPA lists PIPELINING, the commands whose replies are not needed before the
    // next step go out together; otherwise one at a time.
    void commandsGoOutTogetherOnlyWherePipelined_data() {
        QTest::addColumn<QByteArray>("capa");
        QTest::addColumn<bool>("pipelined");
        QTest::newRow("PIPELINING listed") << QByteArray("+OK\r\nUIDL\r\nPIPELINING\r\n.") << true;
        QTest::newRow("not listed") << QByteArray("+OK\r\nUIDL\r\nTOP\r\n.") << false;
        QTest::newRow("CAPA refused") << QByteArray("-ERR unknown command") << false;
    }
    void commandsGoOutTogetherOnlyWherePipelined() {
        QFETCH(QByteArray, capa);
        QFETCH(bool, pipelined);
        Session s(capa);
        s.login("+OK 2 160");
        for (int n = 1; n <= 2; ++n) {
            s.retr(n, {Download(n)});
            s.pop.expect("dele " + QByteArray::number(n)).reply("+OK");
        }
        s.pop.expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", SmtpAccepting());

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), (QList<QByteArray>{Relayed(1), Relayed(2)}));
        QCOMPARE(s.deletions(), (QList<QByteArray>{"dele 1", "dele 2"}));
        using Batches = QList<QList<QByteArray>>;
        const Batches expected =
            pipelined ? Batches{{"CAPA"},        {"USER bob"},
                                {"PASS secret"}, {"STAT"},
                                {"UIDL"},        {"noop", "LIST 1", "RETR 1"},
                                {"noop"},        {"noop", "dele 1", "LIST 2", "RETR 2"},
                                {"noop"},        {"noop", "dele 2"},
                                {"noop", "quit"}}
                      : Batches();
        for (const QList<QByteArray>& batch : s.pop.batches())
            QVERIFY2(pipelined || batch.size() == 1, batch.join(' ').constData());
        if (pipelined)
            QCOMPARE(s.pop.batches(), expected);
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // "dele 1" fails after the next message's commands went out: the session ends with
    // "quit", message 2 is neither relayed nor deleted.
    void failedDeleUnderPipeliningEndsTheSession() {
        Session s("+OK\r\nPIPELINING\r\n.");
        s.login("+OK 3 240");
        s.retr(1, {Download(1)});
        s.pop.expect("dele 1").expect("LIST 2").expect("RETR 2");
        s.pop.reply("-ERR disk full").reply("+OK 2 80").send(Download(2));
        s.pop.expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", SmtpAccepting());

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), QList<QByteArray>{Relayed(1)});
        QCOMPARE(s.deletions(), QList<QByteArray>{"dele 1"});
        QCOMPARE(s.pop.lines().last(), "quit");
        QCOMPARE(s.log.ids(), QList<qint32>{7200});
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // The keep-alive's "+OK" comes late, just before the refusal of RETR 2: message 2 is
    // skipped and the session goes on, instead of taking that "+OK" for the download.
    void lateKeepAliveReplyIsNotTakenForADownload() {
        Session s("-ERR", false);
        s.account.KeepMailOnHost = true;
        s.login("+OK 2 160");
        s.pop.expect("noop").reply("+OK");
        s.retr(1, {Download(1)});
        // The flush before the delivery; the keep-alive during it; the flush after it.
        s.pop.expect("noop").reply("+OK").expect("noop").expect("noop");
        s.pop.expect("LIST 2").expect("RETR 2");
        s.pop.send("+OK\r\n+OK\r\n+OK 2 80\r\n-ERR no such message\r\n");
        s.pop.expect("noop").reply("+OK").expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready",
             {{"HELO 127.0.0.1", "250 hello"},
              {"mail from: x@y.org", "250 ok"},
              {"rcpt to: anna", "250 ok"},
              {"data", "354 go on"}});
        // Long enough for one keep-alive.
        s.smtp.expectMessage().pause((SessionSlot::KeepAliveSeconds + 5) * ShortSecondMs);
        s.smtp.reply("250 queued").expect("quit").reply("221 bye");

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), QList<QByteArray>{Relayed(1)});
        QCOMPARE(s.log.ids(), QList<qint32>{});
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // The service stops at one step of a session over three messages: every message the
    // SMTP server accepted is deleted before "quit", nothing else is, and the stop is said.
    void stopAtEachStep_data() {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QList<QByteArray>>("deletions");
        const QList<QByteArray> first = {"dele 1"};
        const QList<QByteArray> both = {"dele 1", "dele 2"};
        QTest::newRow("during RETR 2") << "retr" << first;
        QTest::newRow("during the SMTP dialogue of message 2") << "smtp" << first;
        QTest::newRow("after the 250 to message 2") << "accepted" << both;
        QTest::newRow("between messages 2 and 3") << "between" << both;
    }
    void stopAtEachStep() {
        QFETCH(QString, step);
        QFETCH(QList<QByteArray>, deletions);
        Session s;
        const auto stop = [&s] {
            s.slot.RequestStop();
        };
        s.login("+OK 3 240");
        s.retr(1, {Download(1)});
        s.pop.expect("dele 1").reply("+OK");
        Play(s.smtp, "220 ready", SmtpAccepting());
        s.smtp.nextConnection();
        if (step == "retr") {
            s.pop.expect("LIST 2").reply("+OK 2 80").expect("RETR 2");
            s.pop.send(Download(2).left(30)).call(stop).send(Download(2).mid(30));
        } else {
            s.retr(2, {Download(2)});
        }
        if (step == "smtp") {
            Play(s.smtp, "220 ready", {{"HELO 127.0.0.1", "250 hello"}});
            s.smtp.expect("mail from: x@y.org").call(stop).reply("250 ok");
        } else {
            Play(s.smtp, "220 ready", SmtpAccepting().mid(0, 5));
            // The client has taken the 250 once it says "quit".
            s.smtp.expectMessage().reply("250 queued").expect("quit");
            if (step == "accepted")
                s.smtp.call(stop);
            s.smtp.reply("221 bye");
        }
        if (deletions.size() == 2)
            s.pop.expect("dele 2").reply("+OK");
        if (step == "between")
            s.pop.call(stop);
        s.pop.expect("quit").reply("+OK bye");

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.deletions(), deletions);
        QCOMPARE(s.smtp.messages().size(), deletions.size());
        QCOMPARE(s.pop.lines().last(), "quit");
        QVERIFY(!s.pop.lines().contains("RETR 3"));
        QCOMPARE(s.log.ids().last(), 1003);
        QVERIFY2(s.log.entries().last().text.contains(
                     QStringLiteral(": %1 message(s) delivered").arg(deletions.size())),
                 qPrintable(s.log.entries().last().text));
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // With the SMTP server out of reach, the first message fails at once and the session
    // ends there, instead of downloading every message to fail again.
    void smtpServerOutOfReachEndsTheSession_data() {
        QTest::addColumn<QString>("smtpServer");
        QTest::newRow("refused") << "127.0.0.1";
        QTest::newRow("unknown host") << "no-such-host.invalid";
    }
    void smtpServerOutOfReachEndsTheSession() {
        QFETCH(QString, smtpServer);
        Session s;
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        s.slot.Settings.smtpServer = smtpServer;
        s.slot.Settings.smtpPort = quint16(closed.serverPort());
        closed.close();
        s.login("+OK 3 240");
        s.retr(1, {Download(1)});
        s.pop.expect("quit").reply("+OK bye");
        QElapsedTimer elapsed;
        elapsed.start();

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QVERIFY2(elapsed.elapsed() < 1000, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(s.pop.lines().last(), "quit");
        QVERIFY(!s.pop.lines().contains("RETR 2"));
        QCOMPARE(s.deletions(), QList<QByteArray>{});
        QCOMPARE(s.log.ids(), QList<qint32>{8002});
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // A header that names more addresses than a message may go to sends it to the
    // postmaster alone; the next message is delivered as usual.
    void tooManyRecipientsGoToThePostmaster() {
        Session s;
        s.account.GlobalMailHost = true;
        s.account.RemoteDomain = QStringLiteral("example.com");
        QByteArray to = "To: ";
        for (int i = 0; i < 1002; ++i)
            to += "<u" + QByteArray::number(i) + "@example.com>, ";
        const QByteArray mass = "From: <x@y.org>\r\n" + to + "\r\nSubject: all\r\n\r\nHi\r\n.\r\n";
        const QByteArray single =
            "From: <x@y.org>\r\nTo: <ann@example.com>\r\nSubject: one\r\n\r\nHi\r\n.\r\n";
        s.login("+OK 2 240");
        s.retr(1, {"+OK\r\n" + mass});
        s.pop.expect("dele 1").reply("+OK");
        s.retr(2, {"+OK\r\n" + single});
        s.pop.expect("dele 2").reply("+OK").expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", SmtpAccepting("Administrator"));
        s.smtp.nextConnection();
        Play(s.smtp, "220 ready", SmtpAccepting("ann@example.com"));

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), (QList<QByteArray>{mass, single}));
        QCOMPARE(s.log.ids(), QList<qint32>{8006});
        QCOMPARE(s.log.entries().first().text,
                 "Too many recipients in message 1 from: " + s.account.MailServer +
                     ", 1002 addresses; it goes to the postmaster alone.");
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    void refusedMessageStaysAndTheNextGoOn() {
        Session s;
        s.login("+OK 3 240");
        for (int n = 1; n <= 3; ++n) {
            s.retr(n, {Download(n)});
            if (n != 2)
                s.pop.expect("dele " + QByteArray::number(n)).reply("+OK");
        }
        s.pop.expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", SmtpAccepting());
        s.smtp.nextConnection();
        Play(s.smtp, "220 ready", SmtpAccepting("anna", "554 5.7.1 rejected"));
        s.smtp.nextConnection();
        Play(s.smtp, "220 ready", SmtpAccepting());

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.deletions(), (QList<QByteArray>{"dele 1", "dele 3"}));
        QCOMPARE(s.smtp.messages(), (QList<QByteArray>{Relayed(1), Relayed(2), Relayed(3)}));
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // What the list of delivered IDs changes in a session over the messages 1 to count:
    // listed messages are never downloaded again (deleted unless kept), every delivery
    // is added, IDs gone from the server are dropped.
    void deliveredIDs_data() {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("pipelined");
        QTest::addColumn<QList<QByteArray>>("listed"); // {"damaged"}: a file that is no list
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("uidl"); // empty: "uid-n" for each n
        QTest::addColumn<QList<int>>("fetched");
        QTest::addColumn<QList<QByteArray>>("after"); // the list after the session
        QTest::addColumn<QList<qint32>>("events");
        using Ids = QList<QByteArray>;
        using Ns = QList<int>;
        const QByteArray byDefault;
        QTest::newRow("kept, first cycle")
            << true << false << Ids{} << 3 << byDefault << Ns{1, 2, 3}
            << Ids{"uid-1", "uid-2", "uid-3"} << QList<qint32>{};
        QTest::newRow("kept, all delivered before")
            << true << false << Ids{"uid-1", "uid-2", "uid-3"} << 3 << byDefault << Ns{}
            << Ids{"uid-1", "uid-2", "uid-3"} << QList<qint32>{};
        QTest::newRow("kept, one new between, gone ones dropped")
            << true << false << Ids{"uid-9", "uid-1", "uid-3", "uid-7"} << 3 << byDefault << Ns{2}
            << Ids{"uid-1", "uid-3", "uid-2"} << QList<qint32>{};
        QTest::newRow("not kept, lost deletions made up")
            << false << false << Ids{"uid-1", "uid-3"} << 3 << byDefault << Ns{2}
            << Ids{"uid-1", "uid-3", "uid-2"} << QList<qint32>{};
        QTest::newRow("not kept, pipelined")
            << false << true << Ids{"uid-1", "uid-3"} << 4 << byDefault << Ns{2, 4}
            << Ids{"uid-1", "uid-3", "uid-2", "uid-4"} << QList<qint32>{};
        QTest::newRow("damaged list set aside")
            << true << false << Ids{"damaged"} << 2 << byDefault << Ns{1, 2}
            << Ids{"uid-1", "uid-2"} << QList<qint32>{8030};
        // Message 2 has no usable ID: delivered every time, as without UIDL.
        QTest::newRow("an ID given twice tells nothing")
            << true << false << Ids{"uid-1", "same"} << 3
            << QByteArray("+OK\r\n1 uid-1\r\n2 same\r\n3 same\r\n.") << Ns{2, 3} << Ids{"uid-1"}
            << QList<qint32>{};
        QTest::newRow("empty mailbox empties the list")
            << true << false << Ids{"uid-1"} << 0 << byDefault << Ns{} << Ids{} << QList<qint32>{};
    }
    void deliveredIDs() {
        QFETCH(bool, keep);
        QFETCH(bool, pipelined);
        QFETCH(QList<QByteArray>, listed);
        QFETCH(int, count);
        QFETCH(QByteArray, uidl);
        QFETCH(QList<int>, fetched);
        QFETCH(QList<QByteArray>, after);
        QFETCH(QList<qint32>, events);
        Session s(pipelined ? "+OK\r\nUIDL\r\nPIPELINING\r\n." : "-ERR");
        s.account.KeepMailOnHost = keep;
        const bool damaged = listed == QList<QByteArray>{"damaged"};
        s.writeListFile(damaged ? QByteArray("# Hollimere: messages deliv\0\0\0", 30)
                                : ListFile(s.account, listed));
        s.login("+OK " + QByteArray::number(count) + " 999", uidl);
        QList<QByteArray> deletions;
        for (int n = 1; n <= count; ++n) {
            if (!keep && !fetched.contains(n)) {
                deletions << "dele " + QByteArray::number(n);
                s.pop.expect(deletions.last());
                if (!pipelined)
                    s.pop.reply("+OK");
            }
        }
        for (qsizetype i = 0; pipelined && i < deletions.size(); ++i)
            s.pop.reply("+OK");
        for (const int n : fetched) {
            s.retr(n, {Download(n)});
            if (!keep) {
                deletions << "dele " + QByteArray::number(n);
                s.pop.expect(deletions.last()).reply("+OK");
            }
            Play(s.smtp, "220 ready", SmtpAccepting());
            s.smtp.nextConnection();
        }
        s.pop.expect("quit").reply("+OK bye");

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QList<QByteArray> relayed;
        for (const int n : fetched)
            relayed << Relayed(n);
        QCOMPARE(s.smtp.messages(), relayed);
        QCOMPARE(s.deletions(), deletions);
        QCOMPARE(s.listFile(), ListFile(s.account, after));
        QCOMPARE(s.log.ids(), events);
        if (damaged) {
            const QStringList aside =
                QDir(QFileInfo(s.listPath()).path())
                    .entryList({QFileInfo(s.listPath()).fileName() + QStringLiteral(".damaged-*")});
            QCOMPARE(aside.size(), 1);
            QVERIFY2(s.log.entries().first().text.contains(aside.first()),
                     qPrintable(s.log.entries().first().text));
        }
        if (pipelined) // the deletions made up go out together
            QVERIFY(s.pop.batches().contains(QList<QByteArray>{"dele 1", "dele 3"}));
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // A server that refuses UIDL gets today's session, kept mail every time, and the
    // warning once per account while the process runs.
    void refusedUidlKeepsTodaysSession() {
        Session s;
        s.account.KeepMailOnHost = true;
        for (int session = 0; session < 2; ++session) {
            s.login("+OK 1 80", "-ERR unknown command");
            s.retr(1, {Download(1)});
            s.pop.expect("quit").reply("+OK bye").nextConnection();
        }
        Play(s.smtp, "220 ready", SmtpAccepting());

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), (QList<QByteArray>{Relayed(1), Relayed(1)}));
        QCOMPARE(s.log.ids(), QList<qint32>{8022});
        QCOMPARE(s.log.entries().first().text,
                 "No unique IDs from: " + s.account.MailServer +
                     " for bob, the server refuses UIDL: the messages kept on it are delivered "
                     "again in every cycle.");
        QCOMPARE(s.listFile(), QByteArray());
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // The ID is on the list by the time "dele" goes out: a server that closes the
    // connection there loses the deletion, and the next session makes it up without
    // downloading the message again.
    void idIsListedBeforeDele() {
        Session s;
        QByteArray listAtDele;
        s.login("+OK 1 80");
        s.retr(1, {Download(1)});
        s.pop.expect("dele 1").call([&s, &listAtDele] { listAtDele = s.listFile(); }).close();
        s.pop.nextConnection();
        s.login("+OK 1 80");
        s.pop.expect("dele 1").reply("+OK").expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", SmtpAccepting());

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QCOMPARE(listAtDele, ListFile(s.account, {"uid-1"}));
        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), QList<QByteArray>{Relayed(1)});
        QCOMPARE(s.pop.lines().count("RETR 1"), 1);
        QCOMPARE(s.deletions(), (QList<QByteArray>{"dele 1", "dele 1"}));
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    void wrongPassword_data() {
        QTest::addColumn<bool>("serverCloses");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<qint32>>("events");
        QTest::newRow("still connected: quit")
            << false << QList<QByteArray>{"CAPA", "USER bob", "PASS secret", "quit"}
            << QList<qint32>{7200};
        QTest::newRow("closed by the server")
            << true << QList<QByteArray>{"CAPA", "USER bob", "PASS secret"}
            << QList<qint32>{7200, 8001};
    }
    void wrongPassword() {
        QFETCH(bool, serverCloses);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<qint32>, events);
        Session s;
        Play(s.pop, "+OK ready", {{"USER bob", "+OK"}, {"PASS secret", "-ERR invalid password"}});
        if (serverCloses)
            s.pop.close();
        else
            s.pop.expect("quit").reply("+OK bye");

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.pop.lines(), lines);
        QCOMPARE(s.log.ids(), events);
        QCOMPARE(s.slot.POP.Socket.state(), SessionSocket::State::Closed);
    }

    // The final line, or its CR LF, in a piece of its own.
    void splitFinalLineIsFound_data() {
        QTest::addColumn<QList<QByteArray>>("pieces");
        const QByteArray d = Download(1);
        QTest::newRow("\".\" CR LF alone") << QList<QByteArray>{d.chopped(3), d.right(3)};
        QTest::newRow("CR LF after the dot") << QList<QByteArray>{d.chopped(2), d.right(2)};
        QTest::newRow("split inside the CR LF before the dot")
            << QList<QByteArray>{d.chopped(4), d.right(4)};
        QTest::newRow("three pieces, header split")
            << QList<QByteArray>{d.left(20), d.mid(20, 10), d.mid(30)};
    }
    void splitFinalLineIsFound() {
        QFETCH(QList<QByteArray>, pieces);
        Session s;
        s.login("+OK 1 80");
        // Well within the three seconds of silence that would end the download.
        s.retr(1, pieces, 15);
        s.pop.expect("dele 1").reply("+OK").expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", SmtpAccepting());

        const bool ok = RetrieveMailbox(s.slot, s.account);
        QCOMPARE(s.log.ids(), QList<qint32>{});
        QCOMPARE(s.smtp.messages(), QList<QByteArray>{Relayed(1)});
        QCOMPARE(s.deletions(), QList<QByteArray>{"dele 1"});
        QVERIFY(ok);
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // Message 1 is delivered; message 2 breaks off: it is neither relayed nor deleted, and
    // the session ends, its "quit" committing the deletion of message 1 when it can.
    void cutShortDownloadIsKept_data() {
        QTest::addColumn<bool>("serverCloses");
        QTest::addColumn<QList<qint32>>("events");
        QTest::newRow("silence") << false << QList<qint32>{8003};
        QTest::newRow("connection closed") << true << QList<qint32>{8003, 8001};
    }
    void cutShortDownloadIsKept() {
        QFETCH(bool, serverCloses);
        QFETCH(QList<qint32>, events);
        Session s;
        s.login("+OK 2 160");
        s.retr(1, {Download(1)});
        s.pop.expect("dele 1").reply("+OK");
        s.retr(2, {Download(2).left(40)});
        if (serverCloses)
            s.pop.close();
        else
            s.pop.expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", SmtpAccepting());

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), QList<QByteArray>{Relayed(1)});
        QCOMPARE(s.deletions(), QList<QByteArray>{"dele 1"});
        QCOMPARE(s.pop.lines().last(), serverCloses ? "RETR 2" : "quit");
        QCOMPARE(s.log.ids(), events);
        QCOMPARE(s.log.entries().first().text,
                 "Incomplete message from: " + s.account.MailServer +
                     ", message 2 ended before its final line; it stays on the server.");
    }

    void refusedRetrIsSkipped() {
        Session s;
        s.login("+OK 2 160");
        s.pop.expect("LIST 1").reply("+OK 1 80").expect("RETR 1").reply("-ERR no such message");
        s.retr(2, {Download(2)});
        s.pop.expect("dele 2").reply("+OK").expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready", SmtpAccepting());

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), QList<QByteArray>{Relayed(2)});
        QCOMPARE(s.deletions(), QList<QByteArray>{"dele 2"});
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    void valueThatWouldInjectALineIsRefused_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::newRow("user name") << "UserName"
                                   << "bob\r\nDELE 1";
        QTest::newRow("password") << "Password" << QStringLiteral("sec\nret");
        QTest::newRow("password with NUL") << "Password" << QString::fromLatin1("sec\0ret", 7);
        QTest::newRow("Exchange user") << "ExchangeUser"
                                       << "anna\r\nrcpt to: eve";
        QTest::newRow("POP server") << "MailServer"
                                    << "127.0.0.1\r";
        QTest::newRow("SMTP server") << "SmtpServer"
                                     << "127.0.0.1\n";
        QTest::newRow("postmaster") << "PostmasterMailbox"
                                    << "Admin\r\nrcpt to: eve";
    }
    void valueThatWouldInjectALineIsRefused() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        Session s;
        s.login("+OK 1 80");
        AccountRecord& a = s.account;
        ServiceSettings& settings = s.slot.Settings;
        for (auto [name, target] : {std::pair{"UserName", &a.UserName},
                                    {"Password", &a.Password},
                                    {"ExchangeUser", &a.ExchangeUser},
                                    {"MailServer", &a.MailServer},
                                    {"SmtpServer", &settings.smtpServer},
                                    {"PostmasterMailbox", &settings.postmasterMailbox}}) {
            if (field == QLatin1String(name))
                *target = field == "MailServer" ? a.MailServer + value : value;
        }

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QTest::qWait(20);
        QCOMPARE(s.pop.connections(), 0);
        QCOMPARE(s.smtp.connections(), 0);
        QCOMPARE(s.log.ids(), QList<qint32>{9000});
        QVERIFY(s.log.entries().first().text.contains("the account on pop3://127.0.0.1:"));
        QVERIFY(!s.log.entries().first().text.contains('\r'));
    }

    // A domain mailbox's header names its Message-ID at the remote domain, which is no
    // mailbox: the server refuses it, the real recipient still gets the message.
    void domainMailboxSkipsARefusedAddress() {
        Session s;
        s.account.GlobalMailHost = true;
        s.account.RemoteDomain = QStringLiteral("example.com");
        // The Cc line's bracket is never closed: the search ends there.
        const QByteArray relayed = "Message-ID: <1234@example.com>\r\nFrom: <x@y.org>\r\n"
                                   "To: <ann@example.com>\r\nCc: <bob\r\nSubject: hi\r\n\r\n"
                                   "Hello\r\n.\r\n";
        s.login("+OK 1 120");
        s.retr(1, {"+OK\r\n" + relayed});
        s.pop.expect("dele 1").reply("+OK").expect("quit").reply("+OK bye");
        Play(s.smtp, "220 ready",
             {{"HELO 127.0.0.1", "250 hello"},
              {"mail from: x@y.org", "250 ok"},
              {"rcpt to: 1234@example.com", "550 no such user"},
              {"rcpt to: ann@example.com", "250 ok"},
              {"data", "354 go on"},
              {MessageMark, "250 queued"},
              {"quit", "221 bye"}});

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.smtp.messages(), QList<QByteArray>{relayed});
        QCOMPARE(s.deletions(), QList<QByteArray>{"dele 1"});
        QCOMPARE(s.log.ids(), (QList<qint32>{8100, 8004}));
        QCOMPARE(s.log.entries().first().text,
                 "POP Error: Can't find field, this can occur if this piece of mail was sent "
                 "only to a BCC OR the account is a global POP account and the setting is set "
                 "for a single account in the Setup Dialog");
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // The server lists STLS: nothing of the login goes out until the upgrade succeeded,
    // and a failed upgrade ends the session with the reason in words.
    void failedUpgradeSendsNoLogin_data() {
        // What the server sends after STLS, in pieces 50 ms apart.
        QTest::addColumn<QList<QByteArray>>("afterStls");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QList<qint32>>("events");
        QTest::addColumn<QString>("reason");
        const QByteArray begin = "+OK begin TLS\r\n";
        QTest::newRow("refused") << QList<QByteArray>{"-ERR not now\r\n"} << false
                                 << QList<qint32>{7200, 8020}
                                 << "the server refused STLS (-ERR not now)";
        QTest::newRow("closed during the handshake")
            << QList<QByteArray>{begin} << true << QList<qint32>{8020}
            << "the server closed the connection during the TLS handshake";
        QTest::newRow("plain text instead of a handshake")
            << QList<QByteArray>{begin, "+OK\r\n"} << false << QList<qint32>{8020}
            << "the TLS handshake failed (";
        // The injected line came in plain text before the handshake: it is no reply.
        QTest::newRow("plain text injected after +OK, then silence")
            << QList<QByteArray>{begin + "+OK USER accepted\r\n"} << false << QList<qint32>{8020}
            << "the TLS handshake timed out";
    }
    void failedUpgradeSendsNoLogin() {
        QFETCH(QList<QByteArray>, afterStls);
        QFETCH(bool, closes);
        QFETCH(QList<qint32>, events);
        QFETCH(QString, reason);
        Session s("+OK\r\nSTLS\r\nUSER\r\n.");
        s.account.MailServer = QStringLiteral("127.0.0.1:%1").arg(s.pop.port());
        s.pop.answer("quit", "+OK bye");
        s.pop.reply("+OK ready").expect("STLS").sendPieces(afterStls, 50);
        if (closes)
            s.pop.close();
        s.pop.expect("USER bob").reply("+OK").expect("PASS secret").reply("+OK");

        QVERIFY(!RetrieveMailbox(s.slot, s.account));
        QTest::qWait(20);
        for (const QByteArray& line : s.pop.lines())
            QVERIFY2(!line.startsWith("USER") && !line.startsWith("PASS"), line.constData());
        QCOMPARE(s.log.ids(), events);
        const QString text = s.log.entries().last().text;
        QVERIFY2(
            text.startsWith("Secure connection failed to: " + s.account.MailServer + ", " + reason),
            qPrintable(text));
        QCOMPARE(s.slot.POP.Socket.state(), SessionSocket::State::Closed);
        QCOMPARE(s.slot.POPEncryption, QString());
    }

    // After STLS the capabilities are asked again, inside TLS, and decide pipelining; a
    // CAPA-like reply injected in plain text right after "+OK" is no reply.
    void upgradeAsksCapabilitiesAgain() {
        Session s(QByteArray{});
        useTls(s, QStringLiteral("loopback"));
        s.account.MailServer = QStringLiteral("127.0.0.1:%1").arg(s.pop.port());
        s.pop.reply("+OK ready").expect("CAPA").reply("+OK\r\nSTLS\r\nUSER\r\n.");
        s.pop.expect("STLS").send("+OK begin TLS\r\n+OK\r\nUSER\r\n.\r\n").startTls();
        s.pop.expect("CAPA").reply("+OK\r\nUSER\r\nPIPELINING\r\n.");
        s.login("+OK 0 0");
        s.pop.expect("quit").reply("+OK bye");

        QVERIFY(RetrieveMailbox(s.slot, s.account));
        QCOMPARE(s.popLines(), (QList<QByteArray>{"CAPA", "STLS", "CAPA", "USER bob", "PASS secret",
                                                  "STAT", "noop", "quit"}));
        QVERIFY(s.slot.POP.Pipelining);
        QVERIFY2(s.slot.POPEncryption.startsWith("TLS 1."), qPrintable(s.slot.POPEncryption));
        QCOMPARE(s.log.ids(), QList<qint32>{});
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    // Checked before a byte of the login: the authority, and the name the certificate
    // is made out for.
    void certificateIsVerified_data() {
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("failure"); // empty: logged in
        QTest::newRow("pop3s://, trusted") << true << "loopback" << true << QString();
        QTest::newRow("pop3s://, not trusted")
            << true << "loopback" << false << "the certificate is not trusted";
        QTest::newRow("pop3s://, another host")
            << true << "elsewhere" << true << "the certificate is for another host";
        QTest::newRow("STLS, not trusted")
            << false << "loopback" << false << "the certificate is not trusted";
    }
    void certificateIsVerified() {
        QFETCH(bool, implicit);
        QFETCH(QString, certificate);
        QFETCH(bool, trusted);
        QFETCH(QString, failure);
        Session s("+OK\r\nSTLS\r\nUSER\r\n.");
        useTls(s, certificate, trusted);
        s.account.MailServer =
            QString::fromLatin1(implicit ? "pop3s://127.0.0.1:%1" : "127.0.0.1:%1")
                .arg(s.pop.port());
        if (implicit)
            s.pop.startTls();
        else
            s.pop.reply("+OK ready").expect("STLS").reply("+OK begin TLS").startTls();
        s.login("+OK 0 0");
        s.pop.expect("quit").reply("+OK bye");

        const bool ok = RetrieveMailbox(s.slot, s.account);
        QTest::qWait(20);
        QCOMPARE(ok, failure.isEmpty());
        if (ok) {
            QVERIFY2(s.slot.POPEncryption.startsWith("TLS 1."), qPrintable(s.slot.POPEncryption));
            QCOMPARE(s.log.ids(), QList<qint32>{});
            return;
        }
        for (const QByteArray& line : s.pop.lines())
            QVERIFY2(!line.startsWith("USER") && !line.startsWith("PASS"), line.constData());
        QCOMPARE(s.log.ids(), QList<qint32>{8020});
        QCOMPARE(s.log.entries().first().text,
                 "Secure connection failed to: " + s.account.MailServer + ", " + failure +
                     ". The user name and password were not sent.");
    }

    // The usual form with a server that offers no STLS: the login goes out in plain text
    // as before, and the warning comes once per account while the process runs.
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
        QCOMPARE(s.log.ids(), QList<qint32>{8021});
        QCOMPARE(s.log.entries().first().text,
                 "Password sent unencrypted to: " + s.account.MailServer +
                     " for bob, the server does not offer STLS. Use a server that offers TLS "
                     "(port 995 or STLS) if you can.");
        QCOMPARE(s.slot.POPEncryption, QString());
        QVERIFY2(s.mismatches().isEmpty(), qPrintable(s.mismatches()));
    }

    void serverAddress_data() {
        using S = POPServer::Security;
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::addColumn<S>("security");
        const S stls = S::STLSWhenOffered, tls = S::ImplicitTLS, plain = S::Plain;
        const struct {
            const char* text;
            const char* host;
            int port;
            S security;
        } rows[] = {
            {"pop.example.com", "pop.example.com", 110, stls},
            {"pop.example.com:1100", "pop.example.com", 1100, stls},
            {"pop.example.com:995", "pop.example.com", 995, tls},
            {"pop3s://pop.example.com", "pop.example.com", 995, tls},
            {"POP3S://pop.example.com:1995", "pop.example.com", 1995, tls},
            {"pop3://pop.example.com", "pop.example.com", 110, plain},
            {"pop3://pop.example.com:995", "pop.example.com", 995, plain},
            {"::1", "::1", 110, stls},
            {"[::1]", "::1", 110, stls},
            {"[::1]:995", "::1", 995, tls},
            {"pop3s://[2001:db8::5]", "2001:db8::5", 995, tls},
            {"pop3://[fe80::1]:2110", "fe80::1", 2110, plain},
            {"pop.example.com:0", "", 0, stls},
            {"pop.example.com:65536", "", 0, stls},
            {"pop.example.com:pop3", "", 0, stls},
            {"pop.example.com:", "", 0, stls},
            {"pop3s://", "", 0, stls},
            {"pop3s://:995", "", 0, stls},
            {"[::1", "", 0, stls},
            {"[::1]995", "", 0, stls},
        };
        for (const auto& r : rows)
            QTest::newRow(r.text) << QString::fromLatin1(r.text) << QString::fromLatin1(r.host)
                                  << r.port << r.security;
    }
    void serverAddress() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(POPServer::Security, security);
        const std::optional<POPServer> server = POPServerAddress(text);
        QCOMPARE(server.has_value(), !host.isEmpty());
        if (server) {
            QCOMPARE(server->host, host);
            QCOMPARE(server->port, quint16(port));
            QCOMPARE(server->security, security);
        }
    }
};

QTEST_GUILESS_MAIN(TestRetrieveMailbox)
#include "tst_retrievemailbox.moc"
