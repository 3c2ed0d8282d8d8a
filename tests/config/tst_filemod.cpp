#include "Ansi.h"
#include "FileMod.h"
#include "RecordLayout.h"
#include "SecurityMod.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace FileMod;

namespace {

const QString TestKey =
    QStringLiteral("QbZxWkTrNmPqLsHvJdFgCyRtUeIoPzBnMxKwVcSbDfGhJkLqWeRtYuIoPzXcVbNm");

// A read-rule row whose text makes the load fail.
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

// Writes records the plain way, independent of the code under test: a 16-bit
// little-endian length and the bytes, at (record - 1) * 128.
QByteArray recordFile(const QMap<int, QByteArray>& raw) {
    QByteArray out;
    for (auto it = raw.begin(); it != raw.end(); ++it) {
        const qsizetype offset = qsizetype(it.key() - 1) * 128;
        if (out.size() < offset + 128)
            out.resize(offset + 128, '\0');
        out[offset] = static_cast<char>(it.value().size() & 0xFF);
        out[offset + 1] = static_cast<char>(it.value().size() >> 8);
        out.replace(offset + 2, it.value().size(), it.value());
    }
    return out;
}

// A file holding the test key and the given values, each scrambled with it.
QByteArray keyedFile(const QMap<int, QString>& values, QMap<int, QByteArray> raw = {},
                     const QString& key = TestKey) {
    raw[1010] = SecurityMod::Scramble(key.toLatin1(), SecurityMod::FixedKey);
    for (auto it = values.begin(); it != values.end(); ++it)
        raw[it.key()] = SecurityMod::Scramble(*Ansi::ToAnsi(it.value()), key.toLatin1());
    return recordFile(raw);
}

void assign(QString& value, const QJsonValue& json) {
    value = json.toString();
}
void assign(bool& value, const QJsonValue& json) {
    value = json.toBool();
}
void assign(qint16& value, const QJsonValue& json) {
    value = static_cast<qint16>(json.toInt());
}
void assign(std::array<bool, NoMailDayCount>& value, const QJsonValue& json) {
    for (int d = 0; d < NoMailDayCount; ++d)
        value[d] = json.toArray()[d].toBool();
}

// Every field of the layout from the JSON object that names it.
template <class Owner, std::size_t N>
void fromJson(const QJsonObject& json, const Field<Owner> (&fields)[N], Owner& into) {
    for (const auto& field : fields)
        std::visit([&](auto member) { assign(into.*member, json[QLatin1String(field.name)]); },
                   field.member);
}

Configuration fromJson(const QJsonObject& loaded, const QString& key) {
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
    c.Settings.FileKey = key;
    const QJsonArray machines = loaded[u"machines"].toArray();
    for (int i = 0; i < MachineCount; ++i)
        fromJson(machines[i].toObject(), MachineFields, c.Machines[i]);
    return c;
}

QString asText(const QString& value) {
    return value;
}
QString asText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
QString asText(qint16 value) {
    return QString::number(value);
}

// The loaded value that `record` fills (account slot 0, machine entry 0), as text.
template <class Owner, std::size_t N>
std::optional<QString> loadedText(const Field<Owner> (&fields)[N], const Owner& loaded,
                                  int record) {
    for (const auto& field : fields) {
        const auto text = std::visit(
            [&](auto member) -> std::optional<QString> {
                const auto& value = loaded.*member;
                if constexpr (std::is_same_v<std::remove_cvref_t<decltype(value)>,
                                             std::array<bool, NoMailDayCount>>) {
                    const int d = record - field.record;
                    return d >= 0 && d < NoMailDayCount ? std::optional(asText(value[d]))
                                                        : std::nullopt;
                } else {
                    return record == field.record ? std::optional(asText(value)) : std::nullopt;
                }
            },
            field.member);
        if (text)
            return text;
    }
    return std::nullopt;
}

QString loadedText(const Configuration& c, int record) {
    for (const auto& text : {loadedText(AccountFields, c.Accounts[0], record),
                             loadedText(SettingFields, c.Settings, record),
                             loadedText(MachineFields, c.Machines[0], record),
                             loadedText(LaterMachineFields, c.Machines[0], record)}) {
        if (text)
            return *text;
    }
    return QStringLiteral("<no field at record %1>").arg(record);
}

AccountRecord account(const QString& name) {
    return {name,        QStringLiteral("pop.") + name + QStringLiteral(".example"),
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
    c.Settings.SmtpServer = QStringLiteral("mail.example.org");
    c.Settings.SmtpPassword = QStringLiteral("S\u00ebcret \u20ac");
    c.Settings.SmtpPort = QStringLiteral("25");
    c.Settings.CheckInterval = -3;
    c.Settings.SendToPostmaster = QStringLiteral("1");
    c.Settings.MultitaskMode = QStringLiteral("True");
    c.Settings.LogMode = QStringLiteral("3");
    c.Settings.NoInternetCheck = QStringLiteral("1");
    c.Settings.NoMailDays = {true, false, false, false, false, false, true, false};
    c.Settings.ArrayMember = true;
    c.Settings.ArrayText2 = QStringLiteral("t2");
    c.Accounts[0] = account(QStringLiteral("first"));
    c.Accounts[1] = account(QStringLiteral("J\u00fcrgen"));
    c.Accounts[1].GlobalMailHost = true;
    c.Accounts[1].KeepMailOnHost = false;
    c.Accounts[1].RemoteDomain = QStringLiteral("isp.example");
    return c;
}

} // namespace

class TestFileMod : public QObject {
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
        const QString copy = dir.filePath(name);
        QFile::remove(copy);
        QVERIFY(QFile::copy(dataFile(name), copy));
        const FileResult result = LoadData(loaded, copy, KeyPolicy::RequireKey);
        QVERIFY2(result, qPrintable(result.error));
        const QJsonObject json = expected[u"loaded"].toObject();
        const Configuration want = fromJson(json, json[u"file_key"].toString());
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
        const QByteArray saved = readAll(path());
        QCOMPARE(withoutMachines(saved), withoutMachines(readAll(typical)));
        Configuration again;
        QVERIFY(LoadData(again, path(), KeyPolicy::RequireKey));
        QVERIFY(again == loaded);
    }

    void fileWithoutKey_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("missing file") << QByteArray();
        QTest::newRow("key record missing") << readAll(dataFile(QStringLiteral("no-key.ini")));
        QTest::newRow("key under another fixed key") << recordFile(
            {{1010, SecurityMod::Scramble(TestKey.toLatin1(), "*AnOceanOfQuietGlasz*")}});
        QTest::newRow("blank key")
            << recordFile({{1010, SecurityMod::Scramble("    ", SecurityMod::FixedKey)}});
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

        // The console makes a key, stores it, and every value reads as its default.
        QVERIFY(LoadData(cfg, path(), KeyPolicy::MakeNewKey));
        const QString key = cfg.Settings.FileKey;
        QVERIFY2(QRegularExpression(QStringLiteral("^[B-Zb-z]{64}$")).match(key).hasMatch(),
                 qPrintable(key));
        QCOMPARE(cfg.Accounts[0].AccountName, QString());
        QCOMPARE(cfg.Settings.PopTimeout, QStringLiteral("30"));
        QCOMPARE(cfg.Settings.SmtpTimeout, QStringLiteral("30"));
        QCOMPARE(cfg.Settings.PostmasterMailbox, QStringLiteral("Administrator"));
        QCOMPARE(cfg.Settings.CheckInterval, qint16(10));
        QCOMPARE(cfg.Settings.SendToPostmaster, QStringLiteral("0"));
        QCOMPARE(cfg.Settings.MultitaskMode, QStringLiteral("0"));
        QCOMPARE(cfg.Settings.LogMode, QStringLiteral("2"));
        QCOMPARE(cfg.Settings.NoInternetCheck, QStringLiteral("0"));
        QCOMPARE(fileMode(path()), mode_t(0600));
        if (bytes.isEmpty())
            QCOMPARE(QFileInfo(path()).size(), 1010 * 128);

        // The key is for good: the next load of either program reads it back.
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
                               << QString::fromLatin1(expected);
        };
        row("global empty", 402, "", "false");
        row("global blanks", 402, "   ", "false");
        row("global True", 402, "True", "true");
        row("global false any case", 402, " fALSE ", "false");
        row("global minus one", 402, "-1", "true");
        row("global two", 402, "2", "true");
        row("global zero decimal", 402, "0.0", "false");
        row("global not a Boolean", 402, "yes", Fails);
        row("global number and word", 402, "1 x", Fails);
        row("keep empty", 702, "", "false");
        row("keep double zero", 702, "00", "false");
        row("keep word", 702, "x", "false");
        row("keep leading number", 702, " 1abc", "true");
        row("keep half", 702, "0.5", "true");
        row("pop timeout blanks", 997, "   ", "30");
        row("pop timeout kept as stored", 997, " 45", " 45");
        row("smtp timeout empty", 998, "", "30");
        row("postmaster blank", 999, " ", "Administrator");
        row("port as stored", 1003, " 25 ", " 25 ");
        row("interval empty", 1005, "", "10");
        row("interval letters", 1005, "abc", "0");
        row("interval decimal", 1005, "7.9", "7");
        row("interval negative decimal", 1005, "-7.9", "-8");
        row("interval padded", 1005, "  15 min", "15");
        row("interval smallest", 1005, "-32768", "-32768");
        row("interval largest", 1005, "32767.99", "32767");
        row("interval too large", 1005, "32768", Fails);
        row("interval too small", 1005, "-32768.5", Fails);
        row("interval huge", 1005, "99999999999999999999999", Fails);
        row("postmaster flag single blank", 1006, " ", " ");
        row("postmaster flag empty", 1006, "", "0");
        row("multitask empty", 1007, "", "0");
        row("multitask word kept", 1007, "True", "True");
        row("log mode empty", 1008, "", "2");
        row("log mode blank kept", 1008, " ", " ");
        row("internet check empty", 1009, "", "0");
        row("day False is set", 1011, "False", "true");
        row("day double zero is set", 1011, "00", "true");
        row("day padded zero", 1011, " 0 ", "false");
        row("check all empty", 1018, "", "false");
        row("array member word", 2800, "x", "true");
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
        writeAll(path(), keyedFile(values));
        Configuration cfg;
        const FileResult result = LoadData(cfg, path(), KeyPolicy::RequireKey);
        if (expected == QLatin1String(Fails)) {
            QCOMPARE(result.failure, FileResult::Failure::Error);
            QVERIFY2(result.error.contains(QString::number(record)), qPrintable(result.error));
        } else {
            QVERIFY2(result, qPrintable(result.error));
            QCOMPARE(loadedText(cfg, record), expected);
        }
    }

    void recordOfAnotherKeyTakesItsDefault() {
        const QByteArray bytes = keyedFile({{1, QStringLiteral("Account")}},
                                           {{997, SecurityMod::Scramble("99", "SomeOtherKey")},
                                            {1000, SecurityMod::Scramble("smtp", "SomeOtherKey")}});
        writeAll(path(), bytes);
        Configuration cfg;
        QVERIFY(LoadData(cfg, path(), KeyPolicy::RequireKey));
        QCOMPARE(cfg.Settings.PopTimeout, QStringLiteral("30"));
        QCOMPARE(cfg.Settings.SmtpServer, QString());
        QCOMPARE(cfg.Accounts[0].AccountName, QStringLiteral("Account"));
    }

    void accountsWithGapsArePacked() {
        QMap<int, QString> values;
        for (const int c : {3, 7, 100}) {
            values[c] = QStringLiteral("acct%1").arg(c);
            values[301 + c] = QStringLiteral("pw%1").arg(c);
        }
        values[5] = QStringLiteral("   "); // a blank name is no account
        values[305] = QStringLiteral("orphan");
        writeAll(path(), keyedFile(values));
        Configuration cfg;
        cfg.Accounts[150].AccountName = QStringLiteral("stale");
        QVERIFY(LoadData(cfg, path(), KeyPolicy::RequireKey));
        QCOMPARE(cfg.Accounts[0].AccountName, QStringLiteral("acct3"));
        QCOMPARE(cfg.Accounts[1].Password, QStringLiteral("pw7"));
        QCOMPARE(cfg.Accounts[2].AccountName, QStringLiteral("acct100"));
        for (int i = 3; i < AccountSlots; ++i)
            QVERIFY2(cfg.Accounts[i] == AccountRecord(), qPrintable(QString::number(i)));
    }

    void damagedFileFailsAndKeepsTheModel_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good =
            keyedFile({{1, QStringLiteral("Account")}, {1000, QStringLiteral("smtp")}});
        QByteArray tooLong = good;
        tooLong[999 * 128] = char(127); // record 1000 claims 127 bytes
        QTest::newRow("length above 126") << tooLong;
        QTest::newRow("cut short") << good.left(good.size() - 1);
        // Zero the last byte of a record whose last shift is not 0: every other byte
        // passes the key check, that one lies below what it subtracts.
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
        const Configuration before = cfg;
        const FileResult result = LoadData(cfg, path(), KeyPolicy::RequireKey);
        QCOMPARE(result.failure, FileResult::Failure::Error);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(cfg == before);
        QCOMPARE(LoadData(cfg, path(), KeyPolicy::MakeNewKey).failure, FileResult::Failure::Error);
        QCOMPARE(readAll(path()), bytes);
    }

    void unreadableFileFails() {
        QVERIFY(QDir().mkpath(path())); // a folder where the file should be
        Configuration cfg;
        QCOMPARE(LoadData(cfg, path(), KeyPolicy::RequireKey).failure, FileResult::Failure::Error);
        QVERIFY(!LoadData(cfg, path(), KeyPolicy::MakeNewKey));
        QVERIFY(QDir().rmdir(path()));
    }

    void saveAndLoadRoundTrip() {
        Configuration cfg = sampleConfig();
        for (int i = 2; i < StoredAccounts; ++i)
            cfg.Accounts[i] = account(QStringLiteral("a%1").arg(i));
        cfg.Accounts[100] = account(QStringLiteral("beyond the stored slots"));
        cfg.Accounts[0].AccountName = QStringLiteral("  first  ");
        cfg.Machines[3] = {QStringLiteral("NODE"), true, true, QStringLiteral("text")};
        QVERIFY(SaveData(cfg, path()));

        Configuration loaded;
        QVERIFY(LoadData(loaded, path(), KeyPolicy::RequireKey));
        Configuration want = cfg;
        want.Accounts[0].AccountName = QStringLiteral("first");
        want.Accounts[100] = AccountRecord();
        want.Machines[3] = ArrayMachine(); // the console's block is not read back
        QCOMPARE(loaded.Settings, want.Settings);
        QVERIFY(loaded == want);
    }

    void saveWritesTheConsoleRecordsOnly() {
        QVERIFY(SaveData(sampleConfig(), path()));
        const QByteArray bytes = readAll(path());
        QCOMPARE(bytes.size(), 2840 * 128);
        const auto present = [&](int record) {
            return bytes[(record - 1) * 128] != 0 || bytes[(record - 1) * 128 + 1] != 0;
        };
        // The key, the two complete accounts, the settings and every machine entry's
        // console block: none of the empty slots, nothing of the second machine block.
        QSet<int> expected{KeyRecord};
        for (const auto& field : AccountFields)
            expected << field.record << field.record + AccountStep;
        for (const auto& field : SettingFields) {
            const bool days =
                std::holds_alternative<std::array<bool, NoMailDayCount> ConfigSettings::*>(
                    field.member);
            for (int d = 0; d < (days ? NoMailDayCount : 1); ++d)
                expected << field.record + d;
        }
        for (int i = 0; i < MachineCount; ++i) {
            for (const auto& field : MachineFields)
                expected << field.record + i * MachineStep;
        }
        QList<int> missing;
        for (int r = 1; r <= 2840; ++r) {
            if (present(r) != expected.contains(r))
                missing.append(r);
        }
        QCOMPARE(missing, QList<int>());
    }

    void incompleteAccountIsDroppedAndOthersMoveUp() {
        Configuration cfg = sampleConfig();
        cfg.Accounts[2] = account(QStringLiteral("third"));
        cfg.Accounts[0].Password.clear();
        QVERIFY(SaveData(cfg, path()));
        Configuration loaded;
        QVERIFY(LoadData(loaded, path(), KeyPolicy::RequireKey));
        QCOMPARE(loaded.Accounts[0], cfg.Accounts[1]);
        QCOMPARE(loaded.Accounts[1], cfg.Accounts[2]);
        QCOMPARE(loaded.Accounts[2], AccountRecord());
    }

    void valueThatDoesNotFitRefusesTheSave_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<QString>("named");
        QTest::newRow("62 characters") << QString(62, u'x') << true << QString();
        QTest::newRow("62 with high characters") << QString(62, QChar(0x20AC)) << true << QString();
        QTest::newRow("63 characters") << QString(63, u'x') << false << QStringLiteral("63");
        QTest::newRow("no Windows-1252 byte")
            << QStringLiteral("\u03a9mega") << false << QStringLiteral("U+03A9");
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) << false << QStringLiteral("NUL");
    }
    void valueThatDoesNotFitRefusesTheSave() {
        QFETCH(QString, value);
        QFETCH(bool, fits);
        QFETCH(QString, named);
        QVERIFY(SaveData(sampleConfig(), path()));
        QVERIFY(
            QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QByteArray before = readAll(path());

        Configuration cfg = sampleConfig();
        cfg.Accounts[1].Password = value;
        const FileResult result = SaveData(cfg, path());
        QCOMPARE(bool(result), fits);
        if (fits) {
            Configuration loaded;
            QVERIFY(LoadData(loaded, path(), KeyPolicy::RequireKey));
            QCOMPARE(loaded.Accounts[1].Password, value);
            QCOMPARE(fileMode(path()), mode_t(0600));
        } else {
            QVERIFY2(result.error.contains(QStringLiteral("Password")) &&
                         result.error.contains(named),
                     qPrintable(result.error));
            QCOMPARE(readAll(path()), before);
            QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("HOLLISVC.ini*")}, QDir::Files),
                     QStringList{QStringLiteral("HOLLISVC.ini")});
        }
    }

    void typedValues_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("problem"); // a word of the reason; empty: accepted
        QTest::newRow("62 characters") << QString(62, u'x') << QString();
        QTest::newRow("Windows-1252 letters")
            << QStringLiteral("J\u00fcrgen \u20ac\u2013") << QString();
        QTest::newRow("blanks kept") << QStringLiteral("  a  ") << QString();
        QTest::newRow("63 characters") << QString(63, u'x') << QStringLiteral("62");
        QTest::newRow("tab") << QStringLiteral("a\tb") << QStringLiteral("control");
        QTest::newRow("line feed")
            << QStringLiteral("a\r\nRCPT TO:<x>") << QStringLiteral("control");
        QTest::newRow("unassigned byte") << QStringLiteral("\u0081") << QStringLiteral("control");
        QTest::newRow("greek") << QStringLiteral("\u03a9") << QStringLiteral("U+03A9");
    }
    void typedValues() {
        QFETCH(QString, value);
        QFETCH(QString, problem);
        const QString found = TypedValueProblem(value);
        QCOMPARE(found.isEmpty(), problem.isEmpty());
        QVERIFY2(found.contains(problem), qPrintable(found));
    }

    void saveWithoutKeyIsRefused() {
        Configuration cfg = sampleConfig();
        cfg.Settings.FileKey = QStringLiteral("  ");
        QVERIFY(!SaveData(cfg, path()));
        QVERIFY(!QFile::exists(path()));
    }

    void fileIsOwnerOnlyAfterEverySave() {
        QVERIFY(SaveData(sampleConfig(), path()));
        QCOMPARE(fileMode(path()), mode_t(0600));
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(SaveData(sampleConfig(), path()));
        QCOMPARE(fileMode(path()), mode_t(0600));
    }
};

QTEST_GUILESS_MAIN(TestFileMod)
#include "tst_filemod.moc"
