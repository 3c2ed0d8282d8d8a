#include "ConsoleWindow.h"
#include "ScriptedServer.h"

#include <QDeadlineTimer>
#include <QTcpServer>

namespace {

constexpr int TickMs = 100; // a second, shortened

// The settings the option dialog `item` edits, as the table below writes them.
QString settings(const ConfigSettings& s, const QString& item) {
    QString days;
    for (bool day : s.NoMailDays)
        days += day ? u'1' : u'0';
    return QHash<QString, QString>{{"D1", QString::number(s.CheckInterval) + u' ' + days},
                                   {"D3", s.PostmasterMailbox + u' ' + s.SendToPostmaster},
                                   {"D5", s.LogMode},
                                   {"D6", s.PopTimeout + u' ' + s.SmtpTimeout},
                                   {"B1", s.SmtpServer + u':' + s.SmtpPort}}
        .value(item);
}

} // namespace

class TestOptionDialogs : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;

    // Opens the item `key` over a log mode beyond the slider and an SMTP server.
    QWidget* openItem(const QString& key) {
        Configuration config;
        config.Settings.CheckInterval = 10;
        config.Settings.LogMode = QStringLiteral("7");
        config.Settings.SmtpServer = QStringLiteral("localhost");
        console_->open(config);
        return console_->openItem(key);
    }

private slots:
    void initTestCase() { qputenv("HOLLIMERE_SECOND_MS", QByteArray::number(TickMs)); }
    void init() { console_ = std::make_unique<ConsoleWindow>(); }
    void cleanup() { console_.reset(); }

    // What OK in an option dialog stores, or the start of its refusal, which leaves the
    // dialog open; Escape then changes nothing.
    void roundTrip_data() {
        QTest::addColumn<RowCheck>("check");
        // input: "box=text" typed, a name alone clicked; outcome: stored, or the refusal
        auto row = [this](const char* name, const QString& item, const QStringList& input,
                          const QString& outcome) {
            QTest::newRow(name) << RowCheck([=, this] {
                QWidget* dialog = openItem(item);
                const QString before = settings(console_->document->configuration().Settings, item);
                for (const QString& step : input) {
                    const QString name = step.section(u'=', 0, 0);
                    if (step.contains(u'='))
                        ConsoleWindow::type(dialog, name, step.section(u'=', 1));
                    else if (name.startsWith(u"slide"))
                        QTest::keyClick(dialog->findChild<QWidget*>(name), Qt::Key_Home);
                    else
                        ConsoleWindow::click(dialog, name);
                }
                QTest::keyClick(dialog, Qt::Key_Return);
                const QList<MsgBox::Request>& shown = console_->boxes.shown;
                if (shown.isEmpty()) {
                    QVERIFY(!ConsoleWindow::dialog());
                    QTRY_COMPARE(settings(console_->stored().Settings, item), outcome); // saved
                    return;
                }
                QCOMPARE(shown.size(), 1);
                QVERIFY2(shown[0].text.startsWith(outcome), qPrintable(shown[0].text));
                QVERIFY(dialog->isVisible());
                QTest::keyClick(dialog, Qt::Key_Escape);
                QVERIFY(!ConsoleWindow::dialog() && console_->window->isEnabled());
                QVERIFY(!console_->document->isChanged());
                QCOMPARE(settings(console_->document->configuration().Settings, item), before);
            });
        };
        row("interval beyond the scroll bar", "D1", {"TimeTxt= 2000 "}, "2000 00000000");
        row("interval 0", "D1", {"TimeTxt=0"}, "You cannot specify");
        row("above 16 bits", "D1", {"TimeTxt=32768"}, "The interval must be a whole number");
        row("check all, then not Tuesday", "D1", {"chkWeek7", "chkWeek2"}, "10 11011110");
        row("time-out", "D6", {"txtTimeout1=5000"}, "30 5000");
        row("time-out 9", "D6", {"txtTimeout0=9"}, "The timeout values must be higher than 10");
        row("time-out above 16 bits", "D6", {"txtTimeout0=40000"},
            "The timeout values must be whole numbers");
        row("postmaster", "D3", {"txtPostMaster=pm@ex.org", "chkPostmaster"}, "pm@ex.org 1");
        row("postmaster, control character", "D3", {"txtPostMaster=p\x01m"}, "Post Master holds");
        row("log mode beyond the slider kept", "D5", {}, "7");
        row("log mode moved", "D5", {"slideLogMode"}, "1");
        row("smtp", "B1", {"Server0= smtp.ex ", "Server3= 587"}, "smtp.ex:587");
        row("smtp port 0", "B1", {"Server3=0"}, "The SMTP port must");
    }
    void roundTrip() { RunCheck(); }

    // The SMTP test never blocks: a refusal fails at once, a silent server after its ten
    // seconds, and Cancel ends it without a word.
    void connectionTest_data() {
        QTest::addColumn<RowCheck>("check");
        // script: replies, and "> " the lines expected; icon: of the closing message
        auto row = [this](const char* name, const QByteArrayList& script, int icon) {
            QTest::newRow(name) << RowCheck([=, this] {
                ScriptedServer scripted;
                for (const QByteArray& line : script)
                    line.startsWith("> ") ? scripted.expect(line.mid(2)) : scripted.reply(line);
                const QLatin1String tag(name);
                quint16 port = scripted.port();
                if (tag == QLatin1String("no listener")) {
                    QTcpServer closed; // and closed again at once
                    closed.listen(QHostAddress::LocalHost);
                    port = closed.serverPort();
                }
                QWidget* dialog = openItem(QStringLiteral("B1"));
                ConsoleWindow::type(dialog, QStringLiteral("Server3"), QString::number(port));
                const QDeadlineTimer silence(9 * TickMs, Qt::PreciseTimer);
                ConsoleWindow::click(dialog, QStringLiteral("cmdVerifySMTP"));
                QWidget* wait = ConsoleWindow::dialog(QStringLiteral("frmWaitAni"));
                QVERIFY(wait && !dialog->isEnabled()); // still running
                if (!icon)
                    ConsoleWindow::click(wait, QStringLiteral("cmdCancel"));
                QTRY_VERIFY(dialog->isEnabled() &&
                            !ConsoleWindow::dialog(QStringLiteral("frmWaitAni")));
                // Only silence waits its ten seconds (a timer may end up to 5 % early).
                QCOMPARE(silence.hasExpired(), tag == QLatin1String("silent, times out"));
                QCOMPARE(console_->boxes.shown.size(), int(icon != 0));
                QCOMPARE(int(console_->boxes.shown.value(0).icon), icon);
                QCOMPARE(scripted.mismatches(), QStringList());
            });
        };
        const int passed = int(MsgBox::Icon::Information), failed = int(MsgBox::Icon::Critical);
        row("passes", {"220-mx.example ESMTP", "220 ready", "> HELO localhost", "250 mx"}, passed);
        row("greets 554", {"554 no service here"}, failed);
        row("refuses HELO", {"220 mx.example", "> HELO localhost", "501 who?"}, failed);
        row("no listener", {}, failed);
        row("silent, times out", {}, failed);
        row("silent, cancelled", {}, int(MsgBox::Icon::None));
    }
    void connectionTest() { RunCheck(); }
};

QTEST_MAIN(TestOptionDialogs)
#include "tst_optiondialogs.moc"
