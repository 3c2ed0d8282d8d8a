#include "Ansi.h"

#include <QTest>

class TestAnsi : public QObject {
    Q_OBJECT

private slots:
    void everyByteSurvivesTheRoundTrip() {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString text = Ansi::FromAnsi(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(Ansi::ToAnsi(text), std::optional<QByteArray>(all));
    }

    void characters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("pop.isp.example")
                               << QByteArray("pop.isp.example");
        QTest::newRow("latin-1 range")
            << QStringLiteral("Jürgen Müller") << QByteArray("J\xfcrgen M\xfcller");
        QTest::newRow("euro") << QStringLiteral("\u20ac5")
                              << QByteArray("\x80"
                                            "5");
        QTest::newRow("quotes and dashes")
            << QStringLiteral("\u201cx\u201d\u2013\u2014") << QByteArray("\x93x\x94\x96\x97");
        QTest::newRow("capital y diaeresis") << QStringLiteral("\u0178") << QByteArray("\x9f");
        QTest::newRow("unassigned byte") << QStringLiteral("\u0081") << QByteArray("\x81");
    }
    void characters() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Ansi::ToAnsi(text), std::optional<QByteArray>(bytes));
        QCOMPARE(Ansi::FromAnsi(bytes), text);
    }

    void refusesWhatHasNoByte_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("bad");
        QTest::newRow("greek") << QStringLiteral("ab\u03a9") << 0x3a9u;
        // A C1 control that Windows-1252 gives to a printable character.
        QTest::newRow("c1 control") << QStringLiteral("\u0080") << 0x80u;
        QTest::newRow("outside the BMP") << QStringLiteral("x\U0001F600y") << 0x1f600u;
    }
    void refusesWhatHasNoByte() {
        QFETCH(QString, text);
        QFETCH(uint, bad);
        char32_t seen = 0;
        QVERIFY(!Ansi::ToAnsi(text, &seen).has_value());
        QCOMPARE(static_cast<uint>(seen), bad);
    }
};

QTEST_GUILESS_MAIN(TestAnsi)
#include "tst_ansi.moc"
