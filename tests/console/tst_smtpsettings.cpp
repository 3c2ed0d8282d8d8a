#include "ConsoleWindow.h"
#include "ScriptedServer.h"
#include "StalledListener.h"
#include "frmSMTPSettings.h"

#include <QLineEdit>
#include <QPushButton>
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

QString text(QWidget* dialog, int box) {
    return dialog->findChild<QLineEdit*>(QStringLiteral("Server%1").arg(box))->text();
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

    // Presses Verify Connection and gives the one message it showed.
    MsgBox::Request verify(QWidget* dialog) {
        ConsoleWindow::click(dialog, QStringLiteral("cmdVerifySMTP"));
        if (console_->boxes.shown.size() != 1)
            qWarning() << "messages shown:" << console_->boxes.shown.size();
        return console_->boxes.shown.value(0);
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

    void captionsAndFields() {
        QWidget* dialog = openDialog(smtpConfig("smtp.corp.example", "2525", "corp.example"));
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("SMTP Server Properties"));
        const QStringList captions = {
            "Server name:", "SMTP Port:", "Local Domain (DNS) Name: (i.e. mail.example.org)",
            "Username:", "Password:"};
        for (int i = 0; i < captions.size(); ++i)
            QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblServer%1").arg(i))->text(),
                     captions[i]);
        const QStringList values = {"smtp.corp.example", "relay", "pa ss", "2525", "corp.example"};
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(text(dialog, i), values[i]);
        QVERIFY(!dialog->findChild<QLineEdit*>("Server1")->isEnabled());
        QVERIFY(!dialog->findChild<QLineEdit*>("Server2")->isEnabled());
        QCOMPARE(dialog->findChild<QPushButton*>("cmdVerifySMTP")->text(),
                 QStringLiteral("Verify Connection"));
        QVERIFY(!console_->window().isEnabled());
    }

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
        QCOMPARE(text(dialog, 4), stores);
        ConsoleWindow::click(dialog, QStringLiteral("OKButton"));
        QVERIFY(console_->window().dataChanged());
        QCOMPARE(console_->window().configuration().Settings.LocalDomain, stores);
        QVERIFY(console_->window().isEnabled());
    }

    void okStoresTrimmedFields() {
        QWidget* dialog = openDialog(smtpConfig("old", "25", "old.example"));
        ConsoleWindow::type(dialog, QStringLiteral("Server0"), QStringLiteral("  new.example "));
        ConsoleWindow::type(dialog, QStringLiteral("Server3"), QStringLiteral(" 587"));
        ConsoleWindow::type(dialog, QStringLiteral("Server4"), QString());
        ConsoleWindow::click(dialog, QStringLiteral("OKButton"));
        const ConfigSettings& settings = console_->window().configuration().Settings;
        QCOMPARE(settings.SmtpServer, QStringLiteral("new.example"));
        QCOMPARE(settings.SmtpPort, QStringLiteral("587"));
        QCOMPARE(settings.LocalDomain, QString());
        QCOMPARE(settings.SmtpUserName, QStringLiteral("relay"));
        QCOMPARE(settings.SmtpPassword, QStringLiteral("pa ss"));
        QVERIFY(!ConsoleWindow::dialog(QStringLiteral("frmSMTPSettings")));
    }

    void cancelKeepsSettings() {
        QWidget* dialog = openDialog(smtpConfig("old", "25", "old.example"));
        ConsoleWindow::type(dialog, QStringLiteral("Server0"), QStringLiteral("new.example"));
        ConsoleWindow::type(dialog, QStringLiteral("Server4"), QStringLiteral("new.local"));
        ConsoleWindow::click(dialog, QStringLiteral("CancelButton"));
        const ConfigSettings& settings = console_->window().configuration().Settings;
        QCOMPARE(settings.SmtpServer, QStringLiteral("old"));
        QCOMPARE(settings.LocalDomain, QStringLiteral("old.example"));
        QVERIFY(!console_->window().dataChanged());
        QVERIFY(console_->window().isEnabled());
    }

    void verifyConnection_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<int>("minTicks");
        QTest::addColumn<int>("maxTicks");
        QTest::newRow("passes") << "passes" << true << 0 << 3;
        QTest::newRow("greets 554") << "greets 554" << false << 16 << 17;
        QTest::newRow("refuses HELO") << "refuses HELO" << false << 16 << 17;
        QTest::newRow("no listener") << "no listener" << false << 11 << 13;
        QTest::newRow("accepts, never greets") << "silent" << false << 11 << 13;
    }
    void verifyConnection() {
        QFETCH(QString, server);
        QFETCH(bool, passes);
        QFETCH(int, minTicks);
        QFETCH(int, maxTicks);
        ScriptedServer scripted;
        StalledListener stalled;
        quint16 port = scripted.port();
        if (server == "passes")
            scripted.reply("220 mx.example ESMTP").expect("HELO localhost").reply("250 mx");
        else if (server == "greets 554")
            scripted.reply("554 no service here");
        else if (server == "refuses HELO")
            scripted.reply("220 mx.example").expect("HELO localhost").reply("501 who?");
        else if (server == "no listener")
            port = closedPort();
        else
            port = stalled.port();
        QWidget* dialog =
            openDialog(smtpConfig("localhost", QString::number(port), "corp.example"));

        const MsgBox::Request shown = verify(dialog);

        QCOMPARE(shown.title, QStringLiteral("Connection"));
        if (passes) {
            QCOMPARE(shown.text, QStringLiteral("LOCALHOST responded with correct response"));
            QCOMPARE(shown.icon, MsgBox::Icon::Information);
            QCOMPARE(scripted.mismatches(), QStringList());
        } else {
            QCOMPARE(shown.text, QStringLiteral("Server could not be reached on this port!"));
            QCOMPARE(shown.icon, MsgBox::Icon::Critical);
        }
        const qint32 ticks = static_cast<frmSMTPSettings*>(dialog)->tickCount();
        QVERIFY2(ticks >= minTicks && ticks <= maxTicks, qPrintable(QString::number(ticks)));
        QCOMPARE(console_->window().Winsock1().state(), QAbstractSocket::UnconnectedState);
        QVERIFY(dialog->isEnabled());
        QVERIFY(!ConsoleWindow::dialog(QStringLiteral("frmWaitAni")));
        auto* button = dialog->findChild<QPushButton*>(QStringLiteral("cmdVerifySMTP"));
        QVERIFY(button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("Verify Connection"));
        QVERIFY(!console_->window().dataChanged());
    }

    // The HELO names the server box's text as typed, not the local domain.
    void heloCarriesServerBox() {
        ScriptedServer scripted;
        scripted.reply("220 mx.example").expectPrefix("HELO ").reply("250 mx");
        QWidget* dialog =
            openDialog(smtpConfig("127.0.0.1", QString::number(scripted.port()), "corp.example"));
        QCOMPARE(verify(dialog).icon, MsgBox::Icon::Information);
        QCOMPARE(scripted.lines(), QList<QByteArray>{"HELO 127.0.0.1"});
    }

    void portNotUsable_data() {
        QTest::addColumn<QString>("port");
        QTest::newRow("empty") << "";
        QTest::newRow("zero") << "0";
        QTest::newRow("too large") << "65536";
        QTest::newRow("trailing text") << "25x";
        QTest::newRow("negative") << "-25";
    }
    void portNotUsable() {
        QFETCH(QString, port);
        QWidget* dialog = openDialog(smtpConfig("localhost", port, ""));
        const MsgBox::Request shown = verify(dialog);
        QCOMPARE(shown.text, QStringLiteral("Server could not be reached on this port!"));
        QCOMPARE(static_cast<frmSMTPSettings*>(dialog)->tickCount(), 0);
        QCOMPARE(console_->window().Winsock1().state(), QAbstractSocket::UnconnectedState);
    }

    // The dialog cannot go away under the test that runs in it.
    void closingDuringTestIgnored() {
        StalledListener stalled;
        QWidget* dialog = openDialog(smtpConfig("localhost", QString::number(stalled.port()), ""));
        QTimer::singleShot(3 * TickMs, dialog, [dialog] {
            dialog->close();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QCOMPARE(verify(dialog).icon, MsgBox::Icon::Critical);
        QVERIFY(ConsoleWindow::dialog(QStringLiteral("frmSMTPSettings")));
        ConsoleWindow::click(dialog, QStringLiteral("CancelButton"));
        QVERIFY(!ConsoleWindow::dialog(QStringLiteral("frmSMTPSettings")));
    }

    // A socket left open must not turn a server that cannot be reached into a success.
    void openSocketIsTestedAgain() {
        ScriptedServer other;
        QTcpSocket& socket = console_->open().Winsock1();
        socket.connectToHost(QHostAddress::LocalHost, other.port());
        QVERIFY(socket.waitForConnected(2000));
        console_->clickNode(QStringLiteral("C1B"));
        console_->doubleClickRow(0);
        QWidget* dialog = ConsoleWindow::dialog(QStringLiteral("frmSMTPSettings"));
        ConsoleWindow::type(dialog, QStringLiteral("Server3"), QString::number(closedPort()));
        QCOMPARE(verify(dialog).icon, MsgBox::Icon::Critical);
    }
};

QTEST_MAIN(TestSmtpSettings)
#include "tst_smtpsettings.moc"
