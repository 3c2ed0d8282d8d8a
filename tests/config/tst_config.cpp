#include "FileMod.h"
#include "RecordLayout.h"
#include "SecurityMod.h"
#include "ServiceSettings.h"
#include "TableRow.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace FileMod;
using namespace Qt::StringLiterals;
using Bytes = std::optional<QByteArray>;

namespace {

const QString TestKey = u"QbZxWkTrNmPqLsHvJdFgCyRtUeIoPzBnMxKwVcSbDfGhJkLqWeRtYuIoPzXcVbNm"_s;
constexpr const char* Fails = "<the load fails>";

bool ownerOnly(const QString& path) {
    return QFile::permissions(path) ==
           (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

// Records written the plain way, independent of the code under test: a 16-bit
// little-endian length and the bytes, at (record - 1) * 128.
QByteArray recordFile(const QMap<int, QByteArray>& raw) {
    QByteArray out;
    for (auto it = raw.begin(); it != raw.end(); ++it) {
        const qsizetype at = qsizetype(it.key() - 1) * 128, size = it.value().size();
        out.resize(qMax(out.size(), at + 128), '\0');
        out.replace(at, size + 2, char(size & 0xFF) + (char(size >> 8) + it.value()));
    }
    return out;
}

// The test key and the given values, each scrambled with it.
QByteArray keyedFile(const QMap<int, QByteArray>& values, QMap<int, QByteArray> raw = {}) {
    raw[KeyRecord] = SecurityMod::Scramble(TestKey.toLatin1(), SecurityMod::FixedKey);
    for (auto it = values.begin(); it != values.end(); ++it)
        raw[it.key()] = SecurityMod::Scramble(it.value(), TestKey.toLatin1());
    return recordFile(raw);
}

template <class T> QJsonValue json(const T& value) {
    if constexpr (std::is_same_v<T, qint16>)
        return int(value);
    else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, QString>)
        return value;
    else
        return QJsonArray::fromVariantList(QVariantList(value.begin(), value.end()));
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
    return {{"accounts", accounts},
            {"array", array},
            {"file_key", c.Settings.FileKey},
            {"machines", machines},
            {"no_mail_days", settings.take("NoMailDays")},
            {"settings", settings}};
}

QString data(const char* name) {
    return QStringLiteral(HOLLIMERE_TEST_DATA "/") + name;
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path() const { return DataFilePath(dir.path()); }
    Configuration sample; // every setting set, three accounts

private slots:
    void initTestCase() { QVERIFY(LoadData(sample, data("typical.ini"), KeyPolicy::RequireKey)); }
    void init() { QFile::remove(path()); }

    void sharedTestData_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"typical.ini", "gaps-and-odd-values.ini"})
            QTest::newRow(name) << data(name);
    }
    void sharedTestData() {
        QFETCH(QString, name);
        const QJsonObject expected = QJsonDocument::fromJson(ReadFile(name + u".json"_s)).object();
        QVERIFY(!expected.isEmpty());
        Configuration loaded;
        loaded.Accounts[200].AccountName = u"left over"_s;
        const FileResult result = LoadData(loaded, name, KeyPolicy::RequireKey);
        QVERIFY2(result, qPrintable(result.error));
        QCOMPARE(QJsonDocument(toJson(loaded)).toJson(),
                 QJsonDocument(expected[u"loaded"].toObject()).toJson());
        // Saved byte for byte as the other writer wrote it, but for the console's machine
        // block: a load never reads it back, so a save writes it empty.
        QVERIFY(SaveData(loaded, path()));
        const auto withoutMachines = [](QByteArray bytes) {
            return bytes.replace(1999 * 128, 314 * 128, QByteArray(314 * 128, '\0'));
        };
        if (name.endsWith(u"typical.ini"))
            QCOMPARE(withoutMachines(ReadFile(path())), withoutMachines(ReadFile(name)));
        QVERIFY(ownerOnly(path()));
    }

    void unusableFile_data() {
        const auto row = CheckRows(this, &TestConfig::unusable); // key-less, else damaged
        const auto keyFile = [](const char* key, const char* fixedKey) {
            return recordFile({{KeyRecord, SecurityMod::Scramble(key, fixedKey)}});
        };
        row("missing file", QByteArray(), true);
        row("key record missing", ReadFile(data("no-key.ini")), true);
        row("key under another fixed key", keyFile(TestKey.toLatin1(), "*AnOceanOfQuietGlasz*"),
            true);
        row("blank key", keyFile("    ", SecurityMod::FixedKey), true);
        const QByteArray good = keyedFile({{1, "Account"}, {1000, "smtp"}});
        QByteArray tooLong = good;
        tooLong[999 * 128] = char(127); // record 1000 claims 127 bytes
        row("length above 126", tooLong, false);
        row("cut short", good.left(good.size() - 1), false);
    }
    void unusableFile() { RunCheck(); }
    void unusable(QByteArray bytes, bool keyless) {
        QVERIFY(bytes.isEmpty() || WriteFile(path(), bytes));
        // The service's load fails and leaves the model and the file alone.
        Configuration cfg = sample, again;
        const FileResult result = LoadData(cfg, path(), KeyPolicy::RequireKey);
        QCOMPARE(result.failure, keyless ? FileResult::Failure::NoKey : FileResult::Failure::Error);
        QVERIFY(!result.error.isEmpty() && cfg == sample);
        QCOMPARE(QFile::exists(path()), !bytes.isEmpty());
        QCOMPARE(ReadFile(path()), bytes);
        // The console makes a key for a key-less file and stores it for good.
        QCOMPARE(bool(LoadData(cfg, path(), KeyPolicy::MakeNewKey)), keyless);
        QCOMPARE(ReadFile(path()) == bytes, !keyless);
        if (!keyless)
            return;
        QVERIFY2(QRegularExpression(uR"(^[B-Zb-z]{64}$)"_s).match(cfg.Settings.FileKey).hasMatch(),
                 qPrintable(cfg.Settings.FileKey));
        QVERIFY(ownerOnly(path()));
        QCOMPARE(QFileInfo(path()).size(), qMax(qsizetype(KeyRecord * 128), bytes.size()));
        QVERIFY(LoadData(again, path(), KeyPolicy::RequireKey));
        QCOMPARE(again.Settings.FileKey, cfg.Settings.FileKey);
    }

    void readRules_data() {
        // Per field: pairs of what is stored and what loads (or Fails); the shared data has more.
        const auto row = CheckRows(this, &TestConfig::readRule);
        const auto rows = [&](int record, const char* field,
                              std::initializer_list<const char*> pairs) {
            for (auto it = pairs.begin(); it != pairs.end(); it += 2)
                row(u"%1 \"%2\""_s.arg(record).arg(QString::fromLatin1(*it)).toUtf8(), record,
                    field, QByteArray(it[0]), it[1]);
        };
        rows(100, "AccountName", {"  ", "Account"}); // a blank name in the last slot
        rows(402, "GlobalMailHost",
             {"   ", "false", " fALSE ", "false", "-1", "true", "1 x", Fails});
        rows(702, "KeepMailOnHost", {" 1abc", "true"});
        rows(997, "PopTimeout", {" 45", " 45"});
        rows(999, "PostmasterMailbox", {"\x80\x93\x94\x96\x97\x9f\xfc", "€“”–—Ÿü"}); // Windows-1252
        rows(1005, "CheckInterval",
             {"", "10", "-7.2", "-8", "-32768", "-32768", "32768", Fails, "-32768.5", Fails});
        rows(1011, "NoMailDays", {" 0 ", "false"});
        // Machine entry 3: not read from the console's block, read from the later one.
        rows(2030, "MachineName", {"NODE", ""});
        rows(3031, "MachineName", {"NODE", "NODE"});
        rows(3034, "MachineFlag1", {"1", "true"});
    }
    void readRules() { RunCheck(); }
    void readRule(int record, QString field, QByteArray stored, QString expected) {
        // Record 998 under another key: it takes its default.
        QVERIFY(WriteFile(path(), keyedFile({{1, "Account"}, {record, stored}},
                                            {{998, SecurityMod::Scramble("99", "OtherKey")}})));
        Configuration cfg;
        const FileResult result = LoadData(cfg, path(), KeyPolicy::RequireKey);
        if (expected == QLatin1String(Fails)) {
            QCOMPARE(result.failure, FileResult::Failure::Error);
            QVERIFY2(result.error.contains(QString::number(record)), qPrintable(result.error));
            return;
        }
        QVERIFY2(result, qPrintable(result.error));
        const QJsonObject json = toJson(cfg); // account 0, machine 3, Sunday
        QCOMPARE(json[u"accounts"].toArray().size(), 1);
        QString loaded = json[u"no_mail_days"][0].toVariant().toString();
        for (const QJsonValue& part :
             {json[u"accounts"][0], json[u"settings"], json[u"array"], json[u"machines"][3]})
            if (part.toObject().contains(field))
                loaded = part[field].toVariant().toString();
        QCOMPARE(loaded, expected);
        QCOMPARE(cfg.Settings.SmtpTimeout, u"30"_s);
    }

    void saveAndLoadRoundTrip() {
        Configuration cfg = sample, loaded;
        cfg.Accounts[0].AccountName = u"  first  "_s;
        cfg.Accounts[1].Password.clear(); // incomplete: not saved
        cfg.Accounts[StoredAccounts - 1] = cfg.Accounts[2];
        cfg.Accounts[StoredAccounts] = cfg.Accounts[0]; // beyond the stored slots
        cfg.Settings.CheckInterval = -3;
        cfg.Machines[3] = {u"NODE"_s, true, true, u"text"_s};
        QVERIFY(SaveData(cfg, path()));
        QVERIFY(LoadData(loaded, path(), KeyPolicy::RequireKey));
        // Names trimmed, the incomplete account dropped and the rest moved up.
        Configuration want = cfg;
        want.Accounts[0].AccountName = u"first"_s;
        want.Accounts[1] = cfg.Accounts[2];
        want.Accounts[StoredAccounts - 1] = want.Accounts[StoredAccounts] = AccountRecord();
        want.Machines[3] = ArrayMachine(); // the console's block is not read back
        QCOMPARE(loaded.Settings, want.Settings);
        QVERIFY(loaded == want);
        // The console's block is written all the same, an incomplete account is not.
        const QByteArray bytes = ReadFile(path());
        QVERIFY(bytes[(2000 + 3 * MachineStep - 1) * 128] != '\0' && bytes[128] == '\0');
        QCOMPARE(bytes.size(), 2840 * 128); // nothing of the second block
    }

    void valueThatDoesNotFit_data() {
        // A word of the console's refusal, and of the save's; empty: accepted, saved.
        const auto row = CheckRows(this, &TestConfig::doesNotFit);
        row("62 characters", QString(62, u'x'), "", "");
        row("63 characters", QString(63, u'x'), "62", "63");
        row("NUL", u"a"_s + QChar(0), "control", "NUL");
        row("c1 control", u"\u0080"_s, "control", "U+0080");
        row("outside the BMP", u"x\U0001F600y"_s, "U+1F600", "U+1F600");
        row("line feed", u"a\r\nRCPT"_s, "control", "");
    }
    void valueThatDoesNotFit() { RunCheck(); }
    void doesNotFit(QString value, QString typed, QString saved) {
        const QString found = TypedValueProblem(value);
        QVERIFY2(found.isEmpty() == typed.isEmpty() && found.contains(typed), qPrintable(found));
        QVERIFY(SaveData(sample, path()));
        QVERIFY(QFile::setPermissions(path(), QFile::permissions(path()) | QFile::ReadOther));
        const QByteArray before = ReadFile(path());
        Configuration cfg = sample, loaded;
        cfg.Accounts[1].Password = value;
        const FileResult result = SaveData(cfg, path());
        QCOMPARE(bool(result), saved.isEmpty());
        if (result) {
            QVERIFY(LoadData(loaded, path(), KeyPolicy::RequireKey));
            QCOMPARE(loaded.Accounts[1].Password, value);
            QVERIFY(ownerOnly(path()));
        } else {
            QVERIFY2(result.error.contains(u"Password") && result.error.contains(saved),
                     qPrintable(result.error));
            QCOMPARE(ReadFile(path()), before);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        }
        cfg.Settings.FileKey = u"  "_s;
        QVERIFY(!SaveData(cfg, path()));
    }

    void scramble_data() {
        // What reads back; nullopt: damaged.
        const auto row = CheckRows(this, &TestConfig::unscrambled);
        row("one letter", "GH", "B", "A");
        row("wrap past 255", "\x01\x06H", "B", "\xfa\xff");
        row("digit cycle", "ggggeH", "B", "aaaaa");
        row("other key", SecurityMod::Scramble("secret", "QbZxWk"), "QbZxWl", "");
        row("longer key", SecurityMod::Scramble("secret", "Key"), "Keys", "");
        // Same length and digits "52...": only the key check tells them apart.
        row("same digits", SecurityMod::Scramble("secret", "2\x05"), "\x02\x35", "");
        row("shorter than the key", "ab", "Key", "");
        row("below the shift at the end", QByteArray("abc\0\0\0", 6), "Key", std::nullopt);
    }
    void scramble() { RunCheck(); }
    void unscrambled(QByteArray scrambled, QByteArray key, Bytes text) {
        QCOMPARE(SecurityMod::Unscramble(scrambled, key), text);
    }

    void serviceReadsSettings_data() {
        const auto row = CheckRows(this, &TestConfig::serviceRead);
        const auto rows = [&](const char* field, std::initializer_list<const char*> pairs) {
            for (auto it = pairs.begin(); it != pairs.end(); it += 2)
                row(QByteArray(field) + " \"" + *it + '"', field, it[0], it[1]);
        };
        rows("PopTimeout", {"-0.5", "-1", "99999999999", "2147483647"}); // -1: ends a wait at once
        rows("SmtpPort", {" 25 ", "25", "65535", "65535", "0", "unusable"});
        rows("LogMode", {"2.9", "2", "7", "3", " ", "1"});
        rows("SendToPostmaster", {"1.0", "true", "2", "false"});
        rows("MultitaskMode", {"-1", "true", "yes", "false"});
        rows("NoInternetCheck", {"0", "true", " 0", "false"});
    }
    void serviceReadsSettings() { RunCheck(); }
    void serviceRead(QString field, QString stored, QString expected) {
        ConfigSettings settings;
        for (const auto& f : SettingFields)
            if (field == QLatin1String(f.name))
                settings.*std::get<QString ConfigSettings::*>(f.member) = stored;
        const ServiceSettings s = ReadServiceSettings(settings);
        const QMap<QString, QString> read{
            {"PopTimeout", QString::number(s.popTimeout)},
            {"SmtpPort", s.smtpPort ? QString::number(*s.smtpPort) : u"unusable"_s},
            {"LogMode", QString::number(int(s.logLevel))},
            {"SendToPostmaster", QVariant(s.sendToPostmaster).toString()},
            {"MultitaskMode", QVariant(s.multitask).toString()},
            {"NoInternetCheck", QVariant(s.internetCheck).toString()}};
        QCOMPARE(read.value(field), expected);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
