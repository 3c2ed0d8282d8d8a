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

template <class T> QJsonValue json(const T& value) {
    if constexpr (std::is_same_v<T, Days>) {
        QJsonArray days;
        for (const bool day : value)
            days.append(day);
        return days;
    } else if constexpr (std::is_same_v<T, qint16>) {
        return int(value);
    } else {
        return value;
    }
}

template <class Owner, std::size_t N>
QJsonObject toJson(const Field<Owner> (&fields)[N], const Owner& from) {
    QJsonObject out;
    for (const auto& field : fields)
        std::visit([&](auto member) { out.insert(QLatin1String(field.name), json(from.*member)); },
                   field.member);
    return out;
}

// A loaded configuration in the shape of the shared test data's JSON.
QJsonObject toJson(const Configuration& c) {
    QJsonArray accounts, machines;
    for (const auto& a : c.Accounts)
        if (a != AccountRecord())
            accounts.append(toJson(AccountFields, a));
    for (const auto& m : c.Machines)
        machines.append(toJson(MachineFields, m));
    QJsonObject settings = toJson(SettingFields, c.Settings), array;
    for (const QString& key : settings.keys())
        if (key.startsWith(u"Array"))
            array.insert(key, settings.take(key));
    const QJsonValue days = settings.take(QStringLiteral("NoMailDays"));
    return {
        {QStringLiteral("accounts"), accounts},           {QStringLiteral("array"), array},
        {QStringLiteral("file_key"), c.Settings.FileKey}, {QStringLiteral("machines"), machines},
        {QStringLiteral("no_mail_days"), days},           {QStringLiteral("settings"), settings}};
}

// The loaded value that the field `name` holds (account slot 0, machine entry 0, Sunday).
QString loadedValue(const Configuration& c, const QString& name) {
    const QJsonObject json = toJson(c);
    for (const QJsonValue& section :
         {json[u"accounts"][0], json[u"settings"], json[u"array"], json[u"machines"][0]})
        if (section.toObject().contains(name))
            return section[name].toVariant().toString();
    return json[u"no_mail_days"][0].toVariant().toString();
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
        QCOMPARE(QJsonDocument(toJson(loaded)).toJson(),
                 QJsonDocument(expected[u"loaded"].toObject()).toJson());
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
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected"); // what loads, or Fails
        const auto row = [](int record, const char* field, const char* stored,
                            const char* expected) {
            QTest::addRow("%d \"%s\"", record, stored) << record << stored << field << expected;
        };
        row(402, "GlobalMailHost", "   ", "false");
        row(402, "GlobalMailHost", " fALSE ", "false");
        row(402, "GlobalMailHost", "-1", "true");
        row(402, "GlobalMailHost", "yes", Fails);
        row(402, "GlobalMailHost", "1 x", Fails);
        row(702, "KeepMailOnHost", "00", "false");
        row(702, "KeepMailOnHost", " 1abc", "true");
        row(997, "PopTimeout", "   ", "30");
        row(997, "PopTimeout", " 45", " 45");
        row(999, "PostmasterMailbox", " ", "Administrator");
        row(1005, "CheckInterval", "", "10");
        row(1005, "CheckInterval", "abc", "0");
        row(1005, "CheckInterval", "-7.9", "-8");
        row(1005, "CheckInterval", "-32768", "-32768");
        row(1005, "CheckInterval", "32767.99", "32767");
        row(1005, "CheckInterval", "32768", Fails);
        row(1005, "CheckInterval", "-32768.5", Fails);
        row(1006, "SendToPostmaster", " ", " ");
        row(1006, "SendToPostmaster", "", "0");
        row(1011, "NoMailDays", "False", "true");
        row(1011, "NoMailDays", " 0 ", "false");
        row(2000, "MachineName", "NODE", "");
        row(3001, "MachineName", "NODE", "NODE");
        row(3004, "MachineFlag1", "1", "true");
    }
    void readRules() {
        QFETCH(int, record);
        QFETCH(QString, stored);
        QFETCH(QString, field);
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
        QCOMPARE(loadedValue(cfg, field), expected);
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
        const auto row = [](const char* tag, const QString& value, const char* typed,
                            const char* saved) {
            QTest::newRow(tag) << value << typed << saved;
        };
        row("62 characters", QString(62, u'x'), "", "");
        row("62 with high characters", QString(62, QChar(0x20AC)), "", "");
        row("blanks kept", QStringLiteral("  a  "), "", "");
        row("63 characters", QString(63, u'x'), "62", "63");
        row("no Windows-1252 byte", QStringLiteral("\u03a9"), "U+03A9", "U+03A9");
        row("NUL", QStringLiteral("a") + QChar(0), "control", "NUL");
        row("line feed", QStringLiteral("a\r\nRCPT"), "control", "");
        row("unassigned byte", QStringLiteral("\u0081"), "control", "");
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
        row("same digits", secret("2\x05"), "\x02\x35", "");
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
