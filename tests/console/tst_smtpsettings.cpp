#include "ConsoleWindow.h"
#include "ScriptedServer.h"
#include "StalledListener.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTcpServer>

namespace {

constexpr int TickMs = 20;

// A loopback port nobody listens on.
quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

Configuration smtpConfig(const QString& server, const QString& port, const QString& domain) {
    Configuration config;
    config.Settings.SmtpServer = server;
    config.Settings.SmtpPort = port;
    config.Settings.LocalDomain = domain;
    config.Settings.SmtpUserName = QStringLiteral("relay");
    config.Settings.SmtpPassword = QStringLiteral("pa ss");
    return config;
}

} // namespace

class TestSmtpSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;

    QWidget* openDialog(const Configuration& config) {
        console_->open(config);
        console_->clickNode(QStringLiteral("C1B"));
        console_->doubleClickRow(0);
        return ConsoleWindow::dialog(QStringLiteral("frmSMTPSettings"));
    }

private slots:
    void initTestCase() {
        qputenv("COMPUTERNAME", "MAILHOST");
        qputenv("HOLLIMERE_SECOND_MS", QByteArray::number(TickMs));
    }
    void init() {
        qunsetenv("USERDNSDOMAIN");
        console_ = std::make_unique<ConsoleWindow>();
    }
    void cleanup() { console_.reset(); }

    void localDomainFillIn_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("stores");
        QTest::newRow("empty, filled in trimmed") << ""
                                                  << "  corp.example "
                                                  << "corp.example";
        QTest::newRow("stored value kept") << "mail.local"
                                           << "corp.example"
                                           << "mail.local";
        QTest::newRow("nothing to fill in") << ""
                                            << ""
                                            << "";
    }
    void localDomainFillIn() {
        QFETCH(QString, stored);
        QFETCH(QString, environment);
        QFETCH(QString, stores);
        qputenv("USERDNSDOMAIN", environment.toLocal8Bit());
        QWidget* dialog = openDialog(smtpConfig("smtp.corp.example", "25", stored));
        ConsoleWindow::click(dialog, QStringLiteral("OKButton"));
        QCOMPARE(console_->document().configuration().Settings.LocalDomain, stores);
        QVERIFY(console_->window().isEnabled());
    }

    // What OK stores of a typed server and port; a port that is not a number is refused.
    void okStores_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::newRow("number with blanks") << " 587"
                                            << "587";
        QTest::newRow("letter inside") << "2x5"
                                       << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("zero") << "0"
                              << "";
        QTest::newRow("too large") << "65536"
                                   << "";
    }
    void okStores() {
        QFETCH(QString, port);
        QFETCH(QString, stored);
        QWidget* dialog = openDialog(smtpConfig("old", "25", "old.example"));
        ConsoleWindow::type(dialog, QStringLiteral("Server0"), QStringLiteral("  new.example "));
        ConsoleWindow::type(dialog, QStringLiteral("Server3"), port);
        ConsoleWindow::click(dialog, QStringLiteral("OKButton"));
        const ConfigSettings& settings = console_->document().configuration().Settings;
        QCOMPARE(console_->boxes.shown.size(), stored.isEmpty() ? 1 : 0);
        QCOMPARE(settings.SmtpPort, stored.isEmpty() ? QStringLiteral("25") : stored);
        QCOMPARE(settings.SmtpServer,
                 stored.isEmpty() ? QStringLiteral("old") : QStringLiteral("new.example"));
        QCOMPARE(settings.SmtpPassword, QStringLiteral("pa ss"));
        QCOMPARE(ConsoleWindow::dialog(QStringLiteral("frmSMTPSettings")) != nullptr,
                 stored.isEmpty());
    }

    // The test never blocks: a refusal or an unknown host fails at once, a silent server
    // after its ten seconds, and Cancel ends it without a word.
    void verifyConnection_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("secondMs");
        QTest::addColumn<int>("outcome"); // 1 passes, 0 fails, -1 cancelled
        QTest::addColumn<int>("maxMs");
        QTest::newRow("passes") << "passes" << 1000 << 1 << 1000;
        QTest::newRow("greets 554") << "greets 554" << 1000 << 0 << 1000;
        QTest::newRow("refuses HELO") << "refuses HELO" << 1000 << 0 << 1000;
        QTest::newRow("connection refused") << "no listener" << 1000 << 0 << 1000;
        QTest::newRow("unknown host") << "unknown host" << 1000 << 0 << 1000;
        QTest::newRow("silent, times out") << "silent" << TickMs << 0 << 10 * TickMs + 1000;
        QTest::newRow("silent, cancelled") << "silent" << 1000 << -1 << 1000;
    }
    void verifyConnection() {
        QFETCH(QString, server);
        QFETCH(int, secondMs);
        QFETCH(int, outcome);
        QFETCH(int, maxMs);
        qputenv("HOLLIMERE_SECOND_MS", QByteArray::number(secondMs));
        ScriptedServer scripted;
        StalledListener stalled;
        QString host = QStringLiteral("localhost");
        quint16 port = scripted.port();
        if (server == "passes")
            scripted.reply("220-mx.example ESMTP")
                .reply("220 ready")
                .expect("HELO localhost")
                .reply("250 mx");
        else if (server == "greets 554")
            scripted.reply("554 no service here");
        else if (server == "refuses HELO")
            scripted.reply("220 mx.example").expect("HELO localhost").reply("501 who?");
        else if (server == "no listener")
            port = closedPort();
        else if (server == "unknown host")
            host = QStringLiteral("no-such-host.invalid");
        else
            port = stalled.port();
        QWidget* dialog = openDialog(smtpConfig(host, QString::number(port), "corp.example"));
        QElapsedTimer clock;
        clock.start();
        ConsoleWindow::click(dialog, QStringLiteral("cmdVerifySMTP"));
        QVERIFY(!dialog->isEnabled());
        QWidget* wait = ConsoleWindow::dialog(QStringLiteral("frmWaitAni"));
        QVERIFY(wait);
        if (outcome < 0) {
            QTest::qWait(100);
            ConsoleWindow::click(wait, QStringLiteral("cmdCancel"));
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(console_->boxes.shown.size(), 1, maxMs);
        }
        QVERIFY2(clock.elapsed() < maxMs, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY(!ConsoleWindow::dialog(QStringLiteral("frmWaitAni")));
        QVERIFY(dialog->isEnabled());
        if (outcome < 0) {
            QTest::qWait(2 * TickMs);
            QVERIFY(console_->boxes.shown.isEmpty());
        } else {
            QCOMPARE(console_->boxes.shown[0].icon,
                     outcome ? MsgBox::Icon::Information : MsgBox::Icon::Critical);
        }
        if (outcome == 1)
            QCOMPARE(scripted.mismatches(), QStringList());
        QVERIFY(!console_->document().isChanged());
        qputenv("HOLLIMERE_SECOND_MS", QByteArray::number(TickMs));
    }

    // A port that is not a number is refused before anything connects.
    void verifyRefusesPort() {
        QWidget* dialog = openDialog(smtpConfig("localhost", "2x5", ""));
        ConsoleWindow::click(dialog, QStringLiteral("cmdVerifySMTP"));
        QCOMPARE(console_->boxes.shown.size(), 1);
        QVERIFY(!ConsoleWindow::dialog(QStringLiteral("frmWaitAni")));
        QVERIFY(dialog->isEnabled());
    }
};

QTEST_MAIN(TestSmtpSettings)
#include "tst_smtpsettings.moc"
