#include "CommandLine.h"

#include <QTest>

Q_DECLARE_METATYPE(StartupAction)

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void switches_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("set"); // i u d s q h v, in that order
        QTest::addColumn<StartupAction>("action");
        using A = StartupAction;
        QTest::newRow("nothing") << ""
                                 << "" << A::ExplainUsage;
        QTest::newRow("upper case") << "-INSTALL"
                                    << "i" << A::Install;
        QTest::newRow("install and uninstall") << "-install -uninstall"
                                               << "iu" << A::Conflict;
        QTest::newRow("uninstall and install") << "-uninstall -install"
                                               << "iu" << A::Conflict;
        QTest::newRow("install wins over query") << "-install -query"
                                                 << "idq" << A::Install;
        QTest::newRow("three switches") << "-debug -query -install"
                                        << "idq" << A::Install;
        QTest::newRow("query") << "-query"
                               << "dq" << A::RunQuery;
        QTest::newRow("setup before debug") << "-setup -debug"
                                            << "ds" << A::Setup;
        QTest::newRow("debug") << "-Debug"
                               << "d" << A::RunDebug;
        QTest::newRow("word without dash") << "install"
                                           << "" << A::ExplainUsage;
        QTest::newRow("unknown word") << "-verbose"
                                      << "" << A::ExplainUsage;
        QTest::newRow("text around switches") << "now -query please"
                                              << "dq" << A::RunQuery;
        QTest::newRow("dash inside a word") << "-install-debug"
                                            << "d" << A::RunDebug;
        QTest::newRow("word ends at the blank") << "-debugx -uninstall"
                                                << "u" << A::Uninstall;
        QTest::newRow("help before anything it names") << "-install --help -query"
                                                       << "idqh" << A::ShowHelp;
        QTest::newRow("version instead of a run") << "-debug --VERSION"
                                                  << "dv" << A::ShowVersion;
        QTest::newRow("help with a single dash") << "-help"
                                                 << "h" << A::ShowHelp;
    }
    void switches() {
        QFETCH(QString, line);
        QFETCH(QString, set);
        QFETCH(StartupAction, action);
        const Switches s = ParseSwitches(QStringList{line});
        QString seen;
        for (const auto& [flag, letter] : {std::pair{s.install, u'i'},
                                           {s.uninstall, u'u'},
                                           {s.debug, u'd'},
                                           {s.setup, u's'},
                                           {s.query, u'q'},
                                           {s.help, u'h'},
                                           {s.version, u'v'}})
            if (flag)
                seen += letter;
        QCOMPARE(seen, set);
        QCOMPARE(Decide(s, false), action);
    }

    void serviceManagerStartsTheServiceWithoutSwitches() {
        QCOMPARE(Decide(ParseSwitches(QStringList{}), true), StartupAction::RunService);
        QCOMPARE(Decide(ParseSwitches(QStringList{"-query"}), true), StartupAction::RunQuery);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
