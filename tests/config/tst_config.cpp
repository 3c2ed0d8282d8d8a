#include "Ansi.h"
#include "FileMod.h"
#include "RecordLayout.h"
#include "SecurityMod.h"
#include "ServiceSettings.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace FileMod;
using Days = std::array<bool, NoMailDayCount>;
using Bytes = std::optional<QByteArray>;

namespace {

const QString TestKey =
    QStringLiteral("QbZxWkTrNmPqLsHvJdFgCyRtUeIoPzBnMxKwVcSbDfGhJkLqWeRtYuIoPzXcVbNm");
constexpr const char* Fails = "<the load fails>";

QString dataFile(const QString& name) {
    return QStringLiteral(HOLLIMERE_TEST_DATA "/") + name;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

mode_t fileMode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Records written the plain way, independent of the code under test: a 16-bit
// little-endian length and the bytes, at (record - 1) * 128.
QByteArray recordFile(const QMap<int, QByteArray>& raw) {
    QByteArray out;
    for (auto it = raw.begin(); it != raw.end(); ++it) {
        const qsizetype offset = qsizetype(it.key() - 1) * 128;
        out.resize(qMax(out.size(), offset + 128), '\0');
        out[offset] = char(it.value().size() & 0xFF);
        out[offset + 1] = char(it.value().size() >> 8);
        out.replace(offset + 2, it.value().size(), it.value());
    }
    return out;
}

// The test key and the given values, each scrambled with it.
QByteArray keyedFile(const QMap<int, QString>& values, QMap<int, QByteArray> raw = {}) {
    raw[KeyRecord] = SecurityMod::Scramble(TestKey.toLatin1(), SecurityMod::FixedKey);
    for (auto it = values.begin(); it != values.end(); ++it)
        raw[it.key()] = SecurityMod::Scramble(*Ansi::ToAnsi(it.value()), TestKey.toLatin1());
    return recordFile(raw);
}

// Every field of the layout from the JSON object that names it.
template <class Owner, std::size_t N>
void fromJson(const QJsonObject& json, const Field<Owner> (&fields)[N], Owner& into) {
    for (const auto& field : fields)
        std::visit(
            [&](auto member) {
                auto& value = into.*member;
                const QJsonValue j = json[QLatin1String(field.name)];
                using T = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<T, Days>) {
                    for (int d = 0; d < NoMailDayCount; ++d)
                        value[d] = j[d].toBool();
                } else if constexpr (std::is_same_v<T, QString>) {
                    value = j.toString();
                } else {
                    value = T(j.toVariant().value<int>());
                }
            },
            field.member);
}

Configuration fromJson(const QJsonObject& loaded) {
    Configuration c;
    const QJsonArray accounts = loaded[u"accounts"].toArray();
    for (int i = 0; i < accounts.size(); ++i)
        fromJson(accounts[i].toObject(), AccountFields, c.Accounts[i]);
    QJsonObject settings = loaded[u"settings"].toObject();
    const QJsonObject array = loaded[u"array"].toObject();
    for (auto it = array.begin(); it != array.end(); ++it)
        settings.insert(it.key(), it.value());
    settings.insert(u"NoMailDays", loaded[u"no_mail_days"]);
    fromJson(settings, SettingFields, c.Settings);
    c.Settings.FileKey = loaded[u"file_key"].toString();
    for (int i = 0; i < MachineCount; ++i)
        fromJson(loaded[u"machines"][i].toObject(), MachineFields, c.Machines[i]);
    return c;
}

// The loaded value that `record` fills (account slot 0, machine entry 0), as text.
template <class Owner, std::size_t N>
std::optional<QString> loadedText(const Field<Owner> (&fields)[N], const Owner& loaded,
                                  int record) {
    for (const auto& field : fields) {
        const int d = record - field.record;
        const auto text = std::visit(
            [&](auto member) -> std::optional<QString> {
                const auto& value = loaded.*member;
                using T = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<T, Days>)
                    return d >= 0 && d < NoMailDayCount ? QVariant(value[d]).toString()
                                                        : std::optional<QString>();
                else
                    return d == 0 ? QVariant(value).toString() : std::optional<QString>();
            },
            field.member);
        if (text)
            return text;
    }
    return std::nullopt;
}

QString loadedText(const Configuration& c, int record) {
    return loadedText(AccountFields, c.Accounts[0], record)
        .value_or(loadedText(SettingFields, c.Settings, record)
                      .value_or(loadedText(MachineFields, c.Machines[0], record)
                                    .value_or(loadedText(LaterMachineFields, c.Machines[0], record)
                                                  .value_or(QStringLiteral("<no field>")))));
}

AccountRecord account(const QString& name) {
    return {name,        QStringLiteral("pop.") + name,
            name + u'u', name + u'p',
            false,       name + u'x',
            QString(),   true};
}

Configuration sampleConfig() {
    Configuration c;
    c.Settings.FileKey = TestKey;
    c.Settings.PopTimeout = QStringLiteral("45");
    c.Settings.SmtpTimeout = QStringLiteral("60");
    c.Settings.PostmasterMailbox = QStringLiteral("postmaster@example.org");
    c.Settings.SendToPostmaster = QStringLiteral("1");
    c.Settings.LogMode = QStringLiteral("3");
    c.Settings.NoInternetCheck = QStringLiteral("1");
    c.Settings.SmtpServer = QStringLiteral("mail.example.org");
    c.Settings.SmtpPassword = QStringLiteral("S\u00ebcret \u20ac");
    c.Settings.CheckInterval = -3;
    c.Settings.MultitaskMode = QStringLiteral("True");
    c.Settings.NoMailDays = {true, false, false, false, false, false, true, false};
    c.Settings.ArrayMember = true;
    c.Accounts[0] = account(QStringLiteral("first"));
    c.Accounts[1] = account(QStringLiteral("J\u00fcrgen"));
    c.Accounts[1].GlobalMailHost = true;
    return c;
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path() const { return DataFilePath(dir.path()); }

private slots:
    void init() { QFile::remove(path()); }

    void loadsSharedTestData_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("typical") << QStringLiteral("typical.ini");
        QTest::newRow("gaps and odd values") << QStringLiteral("gaps-and-odd-values.ini");
    }
    void loadsSharedTestData() {
        QFETCH(QString, name);
        const QJsonObject expected =
            QJsonDocument::fromJson(readAll(dataFile(name + QStringLiteral(".json")))).object();
        QVERIFY(!expected.isEmpty());
        Configuration loaded;
        loaded.Accounts[200].AccountName = QStringLiteral("left over");
        const FileResult result = LoadData(loaded, dataFile(name), KeyPolicy::RequireKey);
        QVERIFY2(result, qPrintable(result.error));
        const Configuration want = fromJson(expected[u"loaded"].toObject());
        QCOMPARE(loaded.Settings, want.Settings);
        for (int i = 0; i < AccountSlots; ++i)
            QVERIFY2(loaded.Accounts[i] == want.Accounts[i], qPrintable(QString::number(i)));
        for (int i = 0; i < MachineCount; ++i)
            QVERIFY2(loaded.Machines[i] == want.Machines[i], qPrintable(QString::number(i)));
    }

    void savesWhatTheIndependentWriterWrote() {
        const QString typical = dataFile(QStringLiteral("typical.ini"));
        Configuration loaded;
        QVERIFY(LoadData(loaded, typical, KeyPolicy::RequireKey));
        QVERIFY(SaveData(loaded, path()));
        // Byte for byte, but for the console's machine block: a load never reads it
        // back, so a save writes it empty.
        const auto withoutMachines = [](QByteArray bytes) {
            return bytes.replace(1999 * 128, 314 * 128, QByteArray(314 * 128, '\0'));
        };
        QCOMPARE(withoutMachines(readAll(path())), withoutMachines(readAll(typical)));
        QCOMPARE(fileMode(path()), mode_t(0600));
    }

    void fileWithoutKey_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("missing file") << QByteArray();
        QTest::newRow("key record missing") << readAll(dataFile(QStringLiteral("no-key.ini")));
        QTest::newRow("key under another fixed key") << recordFile(
            {{KeyRecord, SecurityMod::Scramble(TestKey.toLatin1(), "*AnOceanOfQuietGlasz*")}});
        QTest::newRow("blank key")
            << recordFile({{KeyRecord, SecurityMod::Scramble("    ", SecurityMod::FixedKey)}});
    }
    void fileWithoutKey() {
        QFETCH(QByteArray, bytes);
        if (!bytes.isEmpty())
            writeAll(path(), bytes);
        // The service's load says so and leaves the file alone.
        Configuration cfg;
        QCOMPARE(LoadData(cfg, path(), KeyPolicy::RequireKey).failure, FileResult::Failure::NoKey);
        QCOMPARE(QFile::exists(path()), !bytes.isEmpty());
        QCOMPARE(readAll(path()), bytes);
        // The console makes a key and stores it for good.
        QVERIFY(LoadData(cfg, path(), KeyPolicy::MakeNewKey));
        const QString key = cfg.Settings.FileKey;
        QVERIFY2(QRegularExpression(QStringLiteral("^[B-Zb-z]{64}$")).match(key).hasMatch(),
                 qPrintable(key));
        QCOMPARE(cfg.Settings.PopTimeout, QStringLiteral("30"));
        QCOMPARE(fileMode(path()), mode_t(0600));
        QCOMPARE(QFileInfo(path()).size(), qMax(qsizetype(KeyRecord * 128), bytes.size()));
        Configuration again;
        QVERIFY(LoadData(again, path(), KeyPolicy::RequireKey));
        QCOMPARE(again.Settings.FileKey, key);
    }

    void readRules_data() {
        QTest::addColumn<int>("record");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected"); // what loads, or Fails
        const auto row = [](const char* tag, int record, const char* stored, const char* expected) {
            QTest::newRow(tag) << record << QString::fromUtf8(stored)
                               << QString::fromUtf8(expected);
        };
        row("global blanks", 402, "   ", "false");
        row("global false any case", 402, " fALSE ", "false");
        row("global minus one", 402, "-1", "true");
        row("global not a Boolean", 402, "yes", Fails);
        row("global number and word", 402, "1 x", Fails);
        row("keep double zero", 702, "00", "false");
        row("keep leading number", 702, " 1abc", "true");
        row("pop timeout blanks", 997, "   ", "30");
        row("pop timeout kept as stored", 997, " 45", " 45");
        row("postmaster blank", 999, " ", "Administrator");
        row("interval empty", 1005, "", "10");
        row("interval letters", 1005, "abc", "0");
        row("interval negative decimal", 1005, "-7.9", "-8");
        row("interval smallest", 1005, "-32768", "-32768");
        row("interval largest", 1005, "32767.99", "32767");
        row("interval too large", 1005, "32768", Fails);
        row("interval too small", 1005, "-32768.5", Fails);
        row("postmaster flag single blank", 1006, " ", " ");
        row("postmaster flag empty", 1006, "", "0");
        row("day False is set", 1011, "False", "true");
        row("day padded zero", 1011, " 0 ", "false");
        row("machine only in console block", 2000, "NODE", "");
        row("machine in second block", 3001, "NODE", "NODE");
        row("machine flag in second block", 3004, "1", "true");
    }
    void readRules() {
        QFETCH(int, record);
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        QMap<int, QString> values{{1, QStringLiteral("Account")}};
        values[record] = stored;
        writeAll(path(), keyedFile(values, {{998, SecurityMod::Scramble("99", "OtherKey")}}));
        Configuration cfg;
        const FileResult result = LoadData(cfg, path(), KeyPolicy::RequireKey);
        if (expected == QLatin1String(Fails)) {
            QCOMPARE(result.failure, FileResult::Failure::Error);
            QVERIFY2(result.error.contains(QString::number(record)), qPrintable(result.error));
            return;
        }
        QVERIFY2(result, qPrintable(result.error));
        QCOMPARE(loadedText(cfg, record), expected);
        QCOMPARE(cfg.Settings.SmtpTimeout, QStringLiteral("30")); // another key's record
    }

    void entriesWithGapsArePacked() {
        // Blank names are no accounts, even in the last slot; machine 3 only in the block
        // that files from elsewhere hold.
        QMap<int, QString> values{{5, QStringLiteral("   ")},
                                  {100, QStringLiteral("  ")},
                                  {305, QStringLiteral("orphan")},
                                  {3031, QStringLiteral("NODE")}};
        for (const int c : {3, 7, 99}) {
            values[c] = QStringLiteral("acct%1").arg(c);
            values[301 + c] = QStringLiteral("pw%1").arg(c);
        }
        writeAll(path(), keyedFile(values));
        Configuration cfg;
        QVERIFY(LoadData(cfg, path(), KeyPolicy::RequireKey));
        QCOMPARE(cfg.Accounts[0].AccountName, QStringLiteral("acct3"));
        QCOMPARE(cfg.Accounts[1].Password, QStringLiteral("pw7"));
        QCOMPARE(cfg.Accounts[2].AccountName, QStringLiteral("acct99"));
        for (int i = 3; i < AccountSlots; ++i)
            QVERIFY2(cfg.Accounts[i] == AccountRecord(), qPrintable(QString::number(i)));
        QCOMPARE(cfg.Machines[3].MachineName, QStringLiteral("NODE"));
    }

    void damagedFileFailsAndKeepsTheModel_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good =
            keyedFile({{1, QStringLiteral("Account")}, {1000, QStringLiteral("smtp")}});
        QByteArray tooLong = good;
        tooLong[999 * 128] = char(127); // record 1000 claims 127 bytes
        QTest::newRow("length above 126") << tooLong;
        QTest::newRow("cut short") << good.left(good.size() - 1);
        // The last byte of a record zeroed where the key check's shift is not 0: it lies
        // below what the check subtracts.
        const QByteArray digits = SecurityMod::DeriveKeyDigits(TestKey.toLatin1());
        QString value = QStringLiteral("smtp");
        while (digits[(value.size() + TestKey.size() - 1) % digits.size()] == '0')
            value += u'x';
        QByteArray damaged = keyedFile({{1, QStringLiteral("Account")}, {1000, value}});
        damaged[999 * 128 + 2 + value.size() + TestKey.size() - 1] = '\0';
        QTest::newRow("key check below the shift") << damaged;
    }
    void damagedFileFailsAndKeepsTheModel() {
        QFETCH(QByteArray, bytes);
        writeAll(path(), bytes);
        Configuration cfg = sampleConfig();
        const FileResult result = LoadData(cfg, path(), KeyPolicy::RequireKey);
        QCOMPARE(result.failure, FileResult::Failure::Error);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(cfg == sampleConfig());
        QCOMPARE(LoadData(cfg, path(), KeyPolicy::MakeNewKey).failure, FileResult::Failure::Error);
        QCOMPARE(readAll(path()), bytes);
    }

    void saveAndLoadRoundTrip() {
        Configuration cfg = sampleConfig();
        for (int i = 3; i < StoredAccounts; ++i)
            cfg.Accounts[i] = account(QStringLiteral("a%1").arg(i));
        cfg.Accounts[2] = account(QStringLiteral("no password"));
        cfg.Accounts[2].Password.clear();
        cfg.Accounts[100] = account(QStringLiteral("beyond the stored slots"));
        cfg.Accounts[0].AccountName = QStringLiteral("  first  ");
        cfg.Machines[3] = {QStringLiteral("NODE"), true, true, QStringLiteral("text")};
        QVERIFY(SaveData(cfg, path()));
        Configuration loaded;
        QVERIFY(LoadData(loaded, path(), KeyPolicy::RequireKey));
        // Names trimmed, an incomplete account dropped and the rest moved up.
        Configuration want = cfg;
        want.Accounts[0].AccountName = QStringLiteral("first");
        for (int i = 2; i < StoredAccounts; ++i)
            want.Accounts[i] = i + 1 < StoredAccounts ? cfg.Accounts[i + 1] : AccountRecord();
        want.Accounts[100] = AccountRecord();
        want.Machines[3] = ArrayMachine(); // the console's block is not read back
        QCOMPARE(loaded.Settings, want.Settings);
        QVERIFY(loaded == want);
        // The console's block is written all the same, an incomplete account is not.
        const auto present = [bytes = readAll(path())](int record) {
            return bytes.mid((record - 1) * 128, 2) != QByteArray(2, '\0');
        };
        QVERIFY(present(2000 + 3 * MachineStep) && !present(1 + 2));
        QCOMPARE(QFileInfo(path()).size(), 2840 * 128); // nothing of the second block
    }

    void valueThatDoesNotFit_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("typed"); // a word of the console's refusal; empty: accepted
        QTest::addColumn<QString>("saved"); // a word of the save's refusal; empty: saved
        QTest::newRow("62 characters") << QString(62, u'x') << ""
                                       << "";
        QTest::newRow("62 with high characters") << QString(62, QChar(0x20AC)) << ""
                                                 << "";
        QTest::newRow("blanks kept") << QStringLiteral("  a  ") << ""
                                     << "";
        QTest::newRow("63 characters") << QString(63, u'x') << "62"
                                       << "63";
        QTest::newRow("no Windows-1252 byte") << QStringLiteral("\u03a9") << "U+03A9"
                                              << "U+03A9";
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) << "control"
                             << "NUL";
        QTest::newRow("line feed") << QStringLiteral("a\r\nRCPT") << "control"
                                   << "";
        QTest::newRow("unassigned byte") << QStringLiteral("\u0081") << "control"
                                         << "";
    }
    void valueThatDoesNotFit() {
        QFETCH(QString, value);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        const QString found = TypedValueProblem(value);
        QCOMPARE(found.isEmpty(), typed.isEmpty());
        QVERIFY2(found.contains(typed), qPrintable(found));

        QVERIFY(SaveData(sampleConfig(), path()));
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = readAll(path());
        Configuration cfg = sampleConfig();
        cfg.Accounts[1].Password = value;
        const FileResult result = SaveData(cfg, path());
        QCOMPARE(bool(result), saved.isEmpty());
        if (saved.isEmpty()) {
            Configuration loaded;
            QVERIFY(LoadData(loaded, path(), KeyPolicy::RequireKey));
            QCOMPARE(loaded.Accounts[1].Password, value);
            QCOMPARE(fileMode(path()), mode_t(0600));
        } else {
            QVERIFY2(result.error.contains(u"Password") && result.error.contains(saved),
                     qPrintable(result.error));
            QCOMPARE(readAll(path()), before);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        }
        cfg.Settings.FileKey = QStringLiteral("  ");
        QVERIFY(!SaveData(cfg, path()));
    }

    void scramble_data() {
        QTest::addColumn<QByteArray>("scrambled");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<Bytes>("text"); // what reads back; nullopt: damaged
        const auto row = [](const char* tag, const QByteArray& scrambled, const char* key,
                            const Bytes& text) {
            QTest::newRow(tag) << scrambled << QByteArray(key) << text;
        };
        row("empty text", "H", "B", "");
        row("one letter", "GH", "B", "A");
        row("wrap past 255", "\x01\x06H", "B", "\xfa\xff");
        row("digit cycle", "ggggeH", "B", "aaaaa");
        const auto secret = [](const char* key) {
            return SecurityMod::Scramble("secret", key);
        };
        row("other key", secret("QbZxWk"), "QbZxWl", "");
        row("case differs", secret("Key"), "key", "");
        row("longer key", secret("Key"), "Keys", "");
        // Same length and digits "52...": only the key check tells them apart.
        row("same digits", secret("2\x05"),
            "\x02"
            "5",
            "");
        row("shorter than the key", "ab", "Key", "");
        row("never scrambled", "plain text of a record", "Key", "");
        row("below the shift at the end", QByteArray("abc\0\0\0", 6), "Key", std::nullopt);
    }
    void scramble() {
        QFETCH(QByteArray, scrambled);
        QFETCH(QByteArray, key);
        QFETCH(Bytes, text);
        QCOMPARE(SecurityMod::Unscramble(scrambled, key), text);
    }

    void windows1252_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Bytes>("bytes"); // nullopt: refused
        QTest::addColumn<uint>("bad");
        QTest::newRow("latin-1 range") << QStringLiteral("J\u00fcrgen") << Bytes("J\xfcrgen") << 0u;
        QTest::newRow("euro, quotes, dashes")
            << QStringLiteral("\u20ac\u201cx\u201d\u2013\u2014\u0178")
            << Bytes("\x80\x93x\x94\x96\x97\x9f") << 0u;
        QTest::newRow("unassigned byte") << QStringLiteral("\u0081") << Bytes("\x81") << 0u;
        QTest::newRow("greek") << QStringLiteral("ab\u03a9") << Bytes() << 0x3a9u;
        QTest::newRow("c1 control with a character")
            << QStringLiteral("\u0080") << Bytes() << 0x80u;
        QTest::newRow("outside the BMP") << QStringLiteral("x\U0001F600y") << Bytes() << 0x1f600u;
    }
    void windows1252() {
        QFETCH(QString, text);
        QFETCH(Bytes, bytes);
        QFETCH(uint, bad);
        char32_t seen = 0;
        QCOMPARE(Ansi::ToAnsi(text, &seen), bytes);
        QCOMPARE(uint(seen), bad);
        if (bytes)
            QCOMPARE(Ansi::FromAnsi(*bytes), text);
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        QCOMPARE(Ansi::ToAnsi(Ansi::FromAnsi(all)), Bytes(all));
    }

    void serviceReadsSettings_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* field, const char* stored, const char* expected) {
            QTest::addRow("%s \"%s\"", field, stored) << field << stored << expected;
        };
        row("PopTimeout", " 45 sec", "45");
        row("PopTimeout", "-0.5", "-1"); // ends a wait at once, as the text did
        row("PopTimeout", "99999999999", "2147483647");
        row("SmtpPort", " 25 ", "25");
        row("SmtpPort", "65535", "65535");
        row("SmtpPort", "0", "unusable");
        row("LogMode", "2.9", "2");
        row("LogMode", "7", "3");
        row("LogMode", " ", "1");
        row("SendToPostmaster", "1.0", "true");
        row("SendToPostmaster", "2", "false");
        row("MultitaskMode", "-1", "true");
        row("MultitaskMode", "yes", "false");
        row("NoInternetCheck", "0", "true");
        row("NoInternetCheck", " 0", "false");
    }
    void serviceReadsSettings() {
        QFETCH(QString, field);
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        ConfigSettings settings;
        for (const auto& f : SettingFields)
            if (field == QLatin1String(f.name))
                settings.*std::get<QString ConfigSettings::*>(f.member) = stored;
        const ServiceSettings s = ReadServiceSettings(settings);
        const QMap<QString, QString> read{
            {QStringLiteral("PopTimeout"), QString::number(s.popTimeout)},
            {QStringLiteral("SmtpPort"),
             s.smtpPort ? QString::number(*s.smtpPort) : QStringLiteral("unusable")},
            {QStringLiteral("LogMode"), QString::number(int(s.logLevel))},
            {QStringLiteral("SendToPostmaster"), QVariant(s.sendToPostmaster).toString()},
            {QStringLiteral("MultitaskMode"), QVariant(s.multitask).toString()},
            {QStringLiteral("NoInternetCheck"), QVariant(s.internetCheck).toString()}};
        QCOMPARE(read.value(field), expected);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
