#include "FakeSystemctl.h"
#include "FileMod.h"
#include "LoopbackSite.h"
#include "Pop3Mailbox.h"
#include "SmtpSink.h"
#include "StalledListener.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QByteArray Letter = "Return-Path: <ann@else.example>\r\n"
                          "From: Ann <ann@else.example>\r\n"
                          "To: Sales <sales@isp.example>\r\n"
                          "Subject: Order\r\n"
                          "\r\n"
                          "Two boxes, please.\r\n"
                          ".A line that starts with a dot\r\n";

const QByteArray DomainLetter = "From: Bob <bob@else.example>\r\n"
                                "To: <Jo@ISP.example>, <kim@isp.example>\r\n"
                                "Cc: <ann@else.example>\r\n"
                                "Subject: Hello\r\n"
                                "\r\n"
                                "Hi both.\r\n";

// Whether a socket of this machine is still connecting to 127.0.0.1:port.
bool connectingTo(quint16 port) {
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return false;
    const QByteArray remote =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : tcp.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[2] == remote && fields[3] == "02") // SYN_SENT
            return true;
    }
    return false;
}

} // namespace

// The built program, run as a user or systemd would run it.
class TestHollisvc : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // Runs hollisvc with the data folder and event log of this test.
    QProcess* start(const QStringList& arguments, int secondMs = 1000) {
        auto* p = new QProcess(this);
        p->setProcessEnvironment(HollisvcEnvironment(dir.path(), eventLog(), secondMs));
        p->start(QStringLiteral(HOLLISVC_PATH), arguments);
        return p;
    }

    // Waits for the process while this thread's servers keep answering.
    static bool finish(QProcess* p, int ms) {
        QDeadlineTimer deadline(ms);
        while (p->state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(10);
        return p->state() == QProcess::NotRunning && p->exitStatus() == QProcess::NormalExit;
    }

    QString eventLog() const { return dir.filePath(QStringLiteral("events.log")); }

    // "type id text" of every entry so far.
    QStringList events() const {
        QFile f(eventLog());
        QStringList out;
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts))
            out << line.section(u'\t', 1, 1) + u' ' + line.section(u'\t', 2, 2) + u' ' +
                       line.section(u'\t', 3);
        return out;
    }

private slots:
    void cleanup() {
        for (QProcess* p : findChildren<QProcess*>()) {
            p->kill();
            p->waitForFinished();
            delete p;
        }
    }

    void init() {
        QFile::remove(eventLog());
        QFile::remove(FileMod::DataFilePath(dir.path()));
    }

    void queryRelaysEveryMailboxOnce() {
        Pop3Mailbox pop;
        SmtpSink smtp;
        pop.addMailbox("sales", "pw1", {Letter});
        pop.addMailbox("catchall", "pw2", {DomainLetter});
        pop.addMailbox("archive", "pw3", {Letter});
        QVERIFY(FileMod::SaveData(LoopbackSite(pop.port(), smtp.port(), 5),
                                  FileMod::DataFilePath(dir.path())));

        QProcess* p = start({QStringLiteral("-query")}, 50);
        const bool ended = finish(p, 30000);
        QVERIFY2(ended, qPrintable(events().join(u'\n')));
        QCOMPARE(p->exitCode(), 0);

        const QList<Delivery> got = smtp.deliveries();
        QVERIFY2(got.size() == 3, qPrintable(events().join(u'\n')));
        QCOMPARE(got.at(0).recipients, QList<QByteArray>{"sales@example.org"});
        QCOMPARE(got.at(0).data, Letter);
        QCOMPARE(got.at(1).recipients, (QList<QByteArray>{"Jo@ISP.example", "kim@isp.example"}));
        QCOMPARE(got.at(1).data, DomainLetter);
        QCOMPARE(got.at(1).sender, QByteArray("bob@else.example"));
        QCOMPARE(got.at(2).recipients, QList<QByteArray>{"arch@example.org"});
        QVERIFY(pop.messages("sales").isEmpty());
        QVERIFY(pop.messages("catchall").isEmpty());
        QCOMPARE(pop.messages("archive"), QList<QByteArray>{Letter}); // kept on the host
        const QString server = QStringLiteral("127.0.0.1:%1").arg(pop.port());
        // The loopback server offers no STLS.
        const auto unencrypted = [&server](const QString& user) {
            return "2 8021 Password sent unencrypted to: " + server + " for " + user +
                   ", the server does not offer STLS. Use a server that offers TLS (port 995 or "
                   "STLS) if you can.";
        };
        const QString success =
            "4 1000 Mail Retrieval and Delivery was successful on " + server + " (unencrypted)";
        QCOMPARE(events(),
                 (QStringList{"4 110 Manual Mail query requested", unencrypted("sales"), success,
                              unencrypted("catchall"), success, unencrypted("archive"), success,
                              "0 1001 Finished mail query"}));
    }

    void switchesAnswerOnTheTerminal_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("setup") << QStringList{"-SETUP", "-debug"} << 0
                               << "There is no longer a setup mode within this program, please "
                                  "use the QVL Hollimere Management Console\n"
                               << "";
        QTest::newRow("conflict") << QStringList{"-uninstall", "-install"} << 1 << ""
                                  << "You cannot install and uninstall at the same time, use only "
                                     "one switch.\n";
        QTest::newRow("no switch outside systemd") << QStringList{"install"} << 2 << ""
                                                   << "-debug";
    }
    void switchesAnswerOnTheTerminal() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess* p = start(arguments);
        QVERIFY(finish(p, 10000));
        QCOMPARE(p->exitCode(), status);
        QCOMPARE(QString::fromUtf8(p->readAllStandardOutput()), out);
        QVERIFY(QString::fromUtf8(p->readAllStandardError()).contains(err));
        QVERIFY(events().isEmpty());
    }

    void installAndUninstall() {
        FakeSystemctl systemctl;
        QTemporaryDir units;
        qputenv("HOLLIMERE_UNIT_DIR", QFile::encodeName(units.path()));
        qputenv("HOLLIMERE_PACKAGED_UNIT_DIR", QFile::encodeName(units.filePath("none")));
        QProcess* p = start({QStringLiteral("-install")});
        QVERIFY(finish(p, 10000));
        QCOMPARE(p->readAllStandardOutput(), QByteArray("Service Installed\n"));
        QFile unit(units.filePath(QStringLiteral("Pop3_QVL.service")));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        QVERIFY(unit.readAll().contains(
            "\nExecStart=" + QFile::encodeName(QStringLiteral(HOLLISVC_PATH)) + '\n'));
        unit.close();
        p = start({QStringLiteral("-uninstall")});
        QVERIFY(finish(p, 10000));
        QCOMPARE(p->readAllStandardOutput(), QByteArray("Service Uninstalled\n"));
        QVERIFY(!unit.exists());
        QCOMPARE(systemctl.calls(), (QStringList{"daemon-reload", "enable Pop3_QVL",
                                                 "disable Pop3_QVL", "daemon-reload"}));
        p = start({QStringLiteral("-uninstall")}); // nothing left: an error, not a success
        QVERIFY(finish(p, 10000));
        QCOMPARE(p->exitCode(), 1);
        QVERIFY(p->readAllStandardOutput().isEmpty());
        qunsetenv("HOLLIMERE_UNIT_DIR");
        qunsetenv("HOLLIMERE_PACKAGED_UNIT_DIR");
    }

    void debugRunObeysSignalsEvenWhileWaiting_data() {
        QTest::addColumn<bool>("probe");
        QTest::newRow("session waiting for a silent POP3 server") << false;
        QTest::newRow("Internet probe waiting for a silent host") << true;
    }
    void debugRunObeysSignalsEvenWhileWaiting() {
        QFETCH(bool, probe);
        // A POP3 server that accepts and never says a word; a host that never answers.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const StalledListener silentHost;
        SmtpSink smtp;
        Configuration c = LoopbackSite(silent.serverPort(), smtp.port(), 5);
        c.Settings.PopTimeout = QStringLiteral("300");
        if (probe) {
            c.Settings.NoInternetCheck = QStringLiteral("0");
            qputenv("HOLLIMERE_PROBE_URL",
                    "http://127.0.0.1:" + QByteArray::number(silentHost.port()) + "/");
        }
        QVERIFY(FileMod::SaveData(c, FileMod::DataFilePath(dir.path())));

        QProcess* p =
            start({QStringLiteral("-debug")}, 20); // short seconds: the first tick comes soon
        qunsetenv("HOLLIMERE_PROBE_URL");
        QVERIFY(p->waitForStarted());
        if (probe)
            QTRY_VERIFY_WITH_TIMEOUT(connectingTo(silentHost.port()), 10000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 10000); // the session waits
        ::kill(pid_t(p->processId()), SIGUSR1);
        QTRY_VERIFY_WITH_TIMEOUT(events().contains("4 110 Service paused"), 1000);
        ::kill(pid_t(p->processId()), SIGUSR2);
        QTRY_VERIFY_WITH_TIMEOUT(events().contains("4 110 Service resumed"), 1000);
        QElapsedTimer stopping;
        stopping.start();
        p->terminate();
        QVERIFY(finish(p, 5000));
        QCOMPARE(p->exitCode(), 0);
        QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
        QVERIFY(smtp.deliveries().isEmpty());
        if (probe)
            QVERIFY(!silent.hasPendingConnections()); // no account before the probe's answer
    }
};

QTEST_GUILESS_MAIN(TestHollisvc)
#include "tst_hollisvc.moc"
