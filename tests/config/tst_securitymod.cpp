#include "SecurityMod.h"

#include <QRandomGenerator>
#include <QTest>

using namespace SecurityMod;

namespace {

QByteArray randomBytes(QRandomGenerator& rng, int length, int lowest, int highest) {
    QByteArray out;
    for (int i = 0; i < length; ++i)
        out.append(static_cast<char>(rng.bounded(lowest, highest + 1)));
    return out;
}

} // namespace

class TestSecurityMod : public QObject {
    Q_OBJECT

private slots:
    void deriveKeyDigits_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("digits");
        QTest::newRow("empty key") << QByteArray() << QByteArray("0");
        QTest::newRow("one letter") << QByteArray("B") << QByteArray("66664");
        QTest::newRow("letters walked backwards") << QByteArray("AB") << QByteArray("666565668");
        // "321" is odd: padded to "3210", but mirrored from the unpadded end.
        QTest::newRow("odd digit string") << QByteArray("123") << QByteArray("321031228");
        QTest::newRow("blank and digit") << QByteArray("1 ") << QByteArray("321031228");
        QTest::newRow("high code") << QByteArray("\xff") << QByteArray("255025558");
    }
    void deriveKeyDigits() {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, digits);
        QCOMPARE(DeriveKeyDigits(key), digits);
    }

    void scrambleKnownBytes_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("scrambled");
        QTest::newRow("empty text") << QByteArray() << QByteArray("B") << QByteArray("H");
        QTest::newRow("one letter") << QByteArray("A") << QByteArray("B") << QByteArray("GH");
        // 250 + 6 wraps to 1, 255 + 6 to 6.
        QTest::newRow("wrap past 255")
            << QByteArray("\xfa\xff") << QByteArray("B") << QByteArray("\x01\x06H");
        QTest::newRow("digit cycle")
            << QByteArray("aaaaa") << QByteArray("B") << QByteArray("gggge") + QByteArray("H");
    }
    void scrambleKnownBytes() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, scrambled);
        QCOMPARE(Scramble(text, key), scrambled);
        QCOMPARE(Unscramble(scrambled, key), std::optional<QByteArray>(text));
    }

    void roundTripRandomTextsUnderManyKeys() {
        QRandomGenerator rng(20261206);
        for (int round = 0; round < 2000; ++round) {
            // The system's keys are made of codes below 128; texts may use 1..255.
            const QByteArray key = randomBytes(rng, rng.bounded(1, 80), 1, 127);
            const QByteArray text = randomBytes(rng, rng.bounded(0, 130), 1, 255);
            const QByteArray scrambled = Scramble(text, key);
            QCOMPARE(scrambled.size(), text.size() + key.size());
            const auto back = Unscramble(scrambled, key);
            QVERIFY2(back && *back == text, qPrintable(QStringLiteral("round %1").arg(round)));
        }
    }

    void everyHighCodeSurvivesEveryShift() {
        // Keys whose first digit is 0..9 put every shift on the first character.
        for (const char* key : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}) {
            for (int code = 247; code <= 255; ++code) {
                const QByteArray text(1, static_cast<char>(code));
                QCOMPARE(Unscramble(Scramble(text, key), key), std::optional<QByteArray>(text));
            }
        }
    }

    void wrongKeyReadsEmpty_data() {
        QTest::addColumn<QByteArray>("writtenWith");
        QTest::addColumn<QByteArray>("readWith");
        QTest::newRow("other key") << QByteArray("QbZxWk") << QByteArray("QbZxWl");
        QTest::newRow("case differs") << QByteArray("Key") << QByteArray("key");
        QTest::newRow("longer key") << QByteArray("Key") << QByteArray("Keys");
        // Same length, same digit string "52..."; only the key check tells them apart.
        QTest::newRow("same digits") << QByteArray("2\x05")
                                     << QByteArray("\x02"
                                                   "5");
    }
    void wrongKeyReadsEmpty() {
        QFETCH(QByteArray, writtenWith);
        QFETCH(QByteArray, readWith);
        if (QTest::currentDataTag() == QByteArray("same digits"))
            QCOMPARE(DeriveKeyDigits(writtenWith), DeriveKeyDigits(readWith));
        const auto back = Unscramble(Scramble("secret value", writtenWith), readWith);
        QCOMPARE(back, std::optional<QByteArray>(QByteArray()));
    }

    void unscrambleOfOddInput_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("empty record") << QByteArray() << false;
        QTest::newRow("shorter than the key") << QByteArray("ab") << false;
        QTest::newRow("never scrambled") << QByteArray("plain text of a record") << false;
        // The last bytes lie below the shift that the key check subtracts.
        QTest::newRow("control characters at the end") << QByteArray("abc\0\0\0", 6) << true;
    }
    void unscrambleOfOddInput() {
        QFETCH(QByteArray, text);
        QFETCH(bool, damaged);
        const auto back = Unscramble(text, "Key");
        if (damaged)
            QVERIFY(!back.has_value());
        else
            QCOMPARE(back, std::optional<QByteArray>(QByteArray()));
    }
};

QTEST_GUILESS_MAIN(TestSecurityMod)
#include "tst_securitymod.moc"
