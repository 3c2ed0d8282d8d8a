#include "CommandLine.h"

#include <QTest>

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    // Which switches a command line sets; what they do is the program's test.
    void switches_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("set"); // i u d s q h v, in that order
        for (const auto& [line, set] : {std::pair{"", ""},
                                        {"-INSTALL", "i"},
                                        {"-uninstall -install", "iu"},
                                        {"-debug -query -install", "idq"},
                                        {"-query", "dq"},
                                        {"-setup -Debug", "ds"},
                                        {"install", ""},
                                        {"-verbose", ""},
                                        {"now -query please", "dq"},
                                        {"-install-debug", "d"},
                                        {"-debugx -uninstall", "u"},
                                        {"-install --help -query", "idqh"},
                                        {"-debug --VERSION", "dv"},
                                        {"-help", "h"}})
            QTest::newRow(qPrintable(QStringLiteral("\"%1\"").arg(QLatin1String(line))))
                << QString::fromLatin1(line) << QString::fromLatin1(set);
    }
    void switches() {
        QFETCH(QString, line);
        QFETCH(QString, set);
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
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
