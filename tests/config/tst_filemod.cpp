#include "Ansi.h"
#include "FileMod.h"
#include "MemoryEventLog.h"
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

Configuration fromJson(const QJsonObject& loaded, const QString& key) {
    Configuration c;
    const QJsonArray accounts = loaded[u"accounts"].toArray();
    for (int i = 0; i < accounts.size(); ++i) {
        const QJsonObject a = accounts[i].toObject();
        c.Accounts[i] = {a[u"AccountName"].toString(),  a[u"MailServer"].toString(),
                         a[u"UserName"].toString(),     a[u"Password"].toString(),
                         a[u"GlobalMailHost"].toBool(), a[u"ExchangeUser"].toString(),
                         a[u"RemoteDomain"].toString(), a[u"KeepMailOnHost"].toBool()};
    }
    const QJsonObject s = loaded[u"settings"].toObject();
    ConfigSettings& cs = c.Settings;
    cs.PopTimeout = s[u"PopTimeout"].toString();
    cs.SmtpTimeout = s[u"SmtpTimeout"].toString();
    cs.PostmasterMailbox = s[u"PostmasterMailbox"].toString();
    cs.SmtpServer = s[u"SmtpServer"].toString();
    cs.SmtpUserName = s[u"SmtpUserName"].toString();
    cs.SmtpPassword = s[u"SmtpPassword"].toString();
    cs.SmtpPort = s[u"SmtpPort"].toString();
    cs.LocalDomain = s[u"LocalDomain"].toString();
    cs.CheckInterval = static_cast<qint16>(s[u"CheckInterval"].toInt());
    cs.SendToPostmaster = s[u"SendToPostmaster"].toString();
    cs.MultitaskMode = s[u"MultitaskMode"].toString();
    cs.LogMode = s[u"LogMode"].toString();
    cs.NoInternetCheck = s[u"NoInternetCheck"].toString();
    cs.FileKey = key;
    const QJsonArray days = loaded[u"no_mail_days"].toArray();
    for (int d = 0; d < NoMailDayCount; ++d)
        cs.NoMailDays[d] = days[d].toBool();
    const QJsonObject array = loaded[u"array"].toObject();
    cs.ArrayMember = array[u"ArrayMember"].toBool();
    cs.ArrayPrimary = array[u"ArrayPrimary"].toBool();
    cs.ArrayText1 = array[u"ArrayText1"].toString();
    cs.ArrayText2 = array[u"ArrayText2"].toString();
    cs.ArrayText3 = array[u"ArrayText3"].toString();
    const QJsonArray machines = loaded[u"machines"].toArray();
    for (int i = 0; i < MachineCount; ++i) {
        const QJsonObject m = machines[i].toObject();
        c.Machines[i] = {m[u"MachineName"].toString(), m[u"MachineFlag1"].toBool(),
                         m[u"MachineFlag2"].toBool(), m[u"MachineText"].toString()};
    }
    return c;
}

// The loaded field that a read-rule row looks at, as text.
QString fieldText(const Configuration& c, const QString& field) {
    const auto b = [](bool v) {
        return v ? QStringLiteral("true") : QStringLiteral("false");
    };
    const ConfigSettings& s = c.Settings;
    const QMap<QString, QString> fields = {
        {QStringLiteral("GlobalMailHost"), b(c.Accounts[0].GlobalMailHost)},
        {QStringLiteral("KeepMailOnHost"), b(c.Accounts[0].KeepMailOnHost)},
        {QStringLiteral("PopTimeout"), s.PopTimeout},
        {QStringLiteral("SmtpTimeout"), s.SmtpTimeout},
        {QStringLiteral("PostmasterMailbox"), s.PostmasterMailbox},
        {QStringLiteral("SmtpPort"), s.SmtpPort},
        {QStringLiteral("CheckInterval"), QString::number(s.CheckInterval)},
        {QStringLiteral("SendToPostmaster"), s.SendToPostmaster},
        {QStringLiteral("MultitaskMode"), s.MultitaskMode},
        {QStringLiteral("LogMode"), s.LogMode},
        {QStringLiteral("NoInternetCheck"), s.NoInternetCheck},
        {QStringLiteral("Sunday"), b(s.NoMailDays[0])},
        {QStringLiteral("CheckAll"), b(s.NoMailDays[7])},
        {QStringLiteral("ArrayMember"), b(s.ArrayMember)},
        {QStringLiteral("Machine0"),
         c.Machines[0].MachineName + u'/' + b(c.Machines[0].MachineFlag1) + u'/' +
             b(c.Machines[0].MachineFlag2) + u'/' + c.Machines[0].MachineText},
    };
    return fields.value(field, QStringLiteral("<unknown field %1>").arg(field));
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
        MemoryEventLog log;
        Configuration loaded;
        loaded.Accounts[200].AccountName = QStringLiteral("left over");
        const QString copy = dir.filePath(name);
        QFile::remove(copy);
        QVERIFY(QFile::copy(dataFile(name), copy));
        const FileResult result = LoadData(loaded, copy, KeyPolicy::ReportAndFail);
        QVERIFY2(result, qPrintable(result.error));
        QCOMPARE(log.entries(), QList<EventLog::Entry>());
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
        QVERIFY(LoadData(loaded, typical, KeyPolicy::ReportAndFail));
        QVERIFY(SaveData(loaded, path()));
        // Byte for byte, but for the console's machine block: a load never reads it
        // back, so a save writes it empty.
        const auto withoutMachines = [](QByteArray bytes) {
            return bytes.replace(1999 * 128, 314 * 128, QByteArray(314 * 128, '\0'));
        };
        const QByteArray saved = readAll(path());
        QCOMPARE(withoutMachines(saved), withoutMachines(readAll(typical)));
        Configuration again;
        QVERIFY(LoadData(again, path(), KeyPolicy::ReportAndFail));
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

        // A silent look fails without a word; the service refuses it; both leave it alone.
        MemoryEventLog log;
        Configuration cfg;
        QVERIFY(!LoadData(cfg, path(), KeyPolicy::FailSilently));
        QVERIFY(log.entries().isEmpty());
        QVERIFY(!LoadData(cfg, path(), KeyPolicy::ReportAndFail));
        QCOMPARE(log.entries(),
                 (QList<EventLog::Entry>{
                     {1, 1200,
                      QStringLiteral("Data File Not setup, Run QVL POP3 Management Console.")}}));
        QCOMPARE(QFile::exists(path()), !bytes.isEmpty());
        QCOMPARE(readAll(path()), bytes);

        // The console makes a key, stores it, and every value reads as its default.
        log.clear();
        QVERIFY(LoadData(cfg, path(), KeyPolicy::MakeNewKey));
        QVERIFY(log.entries().isEmpty());
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
        QVERIFY(LoadData(again, path(), KeyPolicy::ReportAndFail));
        QCOMPARE(again.Settings.FileKey, key);
    }

    void readRules_data() {
        QTest::addColumn<int>("record");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected"); // empty: the load fails
        const auto row = [](const char* tag, int record, const char* stored, const char* field,
                            const char* expected) {
            QTest::newRow(tag) << record << QString::fromUtf8(stored) << QString::fromLatin1(field)
                               << QString::fromLatin1(expected);
        };
        row("global empty", 402, "", "GlobalMailHost", "false");
        row("global blanks", 402, "   ", "GlobalMailHost", "false");
        row("global True", 402, "True", "GlobalMailHost", "true");
        row("global false any case", 402, " fALSE ", "GlobalMailHost", "false");
        row("global minus one", 402, "-1", "GlobalMailHost", "true");
        row("global two", 402, "2", "GlobalMailHost", "true");
        row("global zero decimal", 402, "0.0", "GlobalMailHost", "false");
        row("global not a Boolean", 402, "yes", "GlobalMailHost", "");
        row("global number and word", 402, "1 x", "GlobalMailHost", "");
        row("keep empty", 702, "", "KeepMailOnHost", "false");
        row("keep double zero", 702, "00", "KeepMailOnHost", "false");
        row("keep word", 702, "x", "KeepMailOnHost", "false");
        row("keep leading number", 702, " 1abc", "KeepMailOnHost", "true");
        row("keep half", 702, "0.5", "KeepMailOnHost", "true");
        row("pop timeout blanks", 997, "   ", "PopTimeout", "30");
        row("pop timeout kept as stored", 997, " 45", "PopTimeout", " 45");
        row("smtp timeout empty", 998, "", "SmtpTimeout", "30");
        row("postmaster blank", 999, " ", "PostmasterMailbox", "Administrator");
        row("port as stored", 1003, " 25 ", "SmtpPort", " 25 ");
        row("interval empty", 1005, "", "CheckInterval", "10");
        row("interval letters", 1005, "abc", "CheckInterval", "0");
        row("interval decimal", 1005, "7.9", "CheckInterval", "7");
        row("interval negative decimal", 1005, "-7.9", "CheckInterval", "-8");
        row("interval padded", 1005, "  15 min", "CheckInterval", "15");
        row("interval smallest", 1005, "-32768", "CheckInterval", "-32768");
        row("interval largest", 1005, "32767.99", "CheckInterval", "32767");
        row("interval too large", 1005, "32768", "CheckInterval", "");
        row("interval too small", 1005, "-32768.5", "CheckInterval", "");
        row("interval huge", 1005, "99999999999999999999999", "CheckInterval", "");
        row("postmaster flag single blank", 1006, " ", "SendToPostmaster", " ");
        row("postmaster flag empty", 1006, "", "SendToPostmaster", "0");
        row("multitask empty", 1007, "", "MultitaskMode", "0");
        row("multitask word kept", 1007, "True", "MultitaskMode", "True");
        row("log mode empty", 1008, "", "LogMode", "2");
        row("log mode blank kept", 1008, " ", "LogMode", " ");
        row("internet check empty", 1009, "", "NoInternetCheck", "0");
        row("day False is set", 1011, "False", "Sunday", "true");
        row("day double zero is set", 1011, "00", "Sunday", "true");
        row("day padded zero", 1011, " 0 ", "Sunday", "false");
        row("check all empty", 1018, "", "CheckAll", "false");
        row("array member word", 2800, "x", "ArrayMember", "true");
        row("machine only in console block", 2000, "NODE", "Machine0", "/false/false/");
        row("machine in second block", 3001, "NODE", "Machine0", "NODE/false/false/");
        row("machine flag in second block", 3004, "1", "Machine0", "/true/false/");
    }
    void readRules() {
        QFETCH(int, record);
        QFETCH(QString, stored);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        QMap<int, QString> values{{1, QStringLiteral("Account")}};
        values[record] = stored;
        writeAll(path(), keyedFile(values));
        MemoryEventLog log;
        Configuration cfg;
        const FileResult result = LoadData(cfg, path(), KeyPolicy::ReportAndFail);
        if (expected.isEmpty()) {
            QVERIFY(!result);
            QCOMPARE(log.ids(), QList<qint32>{1090});
            QVERIFY2(log.entries().at(0).text.startsWith(QStringLiteral("Read Engine Error: ")) &&
                         log.entries().at(0).text.contains(QString::number(record)),
                     qPrintable(log.entries().at(0).text));
        } else {
            QVERIFY2(result, qPrintable(result.error));
            QCOMPARE(fieldText(cfg, field), expected);
        }
    }

    void recordOfAnotherKeyTakesItsDefault() {
        const QByteArray bytes = keyedFile({{1, QStringLiteral("Account")}},
                                           {{997, SecurityMod::Scramble("99", "SomeOtherKey")},
                                            {1000, SecurityMod::Scramble("smtp", "SomeOtherKey")}});
        writeAll(path(), bytes);
        Configuration cfg;
        QVERIFY(LoadData(cfg, path(), KeyPolicy::ReportAndFail));
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
        QVERIFY(LoadData(cfg, path(), KeyPolicy::ReportAndFail));
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
        MemoryEventLog log;
        Configuration cfg = sampleConfig();
        const Configuration before = cfg;
        const FileResult result = LoadData(cfg, path(), KeyPolicy::ReportAndFail);
        QVERIFY(!result);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(log.ids(), QList<qint32>{1090});
        QCOMPARE(log.entries().at(0).text, QStringLiteral("Read Engine Error: ") + result.error);
        QVERIFY(cfg == before);
        // The console and a silent look fail the same way, without a word in the log.
        log.clear();
        QVERIFY(!LoadData(cfg, path(), KeyPolicy::MakeNewKey));
        QVERIFY(!LoadData(cfg, path(), KeyPolicy::FailSilently));
        QVERIFY(log.entries().isEmpty());
        QCOMPARE(readAll(path()), bytes);
    }

    void unreadableFileFails() {
        QVERIFY(QDir().mkpath(path())); // a folder where the file should be
        MemoryEventLog log;
        Configuration cfg;
        QVERIFY(!LoadData(cfg, path(), KeyPolicy::ReportAndFail));
        QCOMPARE(log.ids(), QList<qint32>{1090});
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
        QVERIFY(LoadData(loaded, path(), KeyPolicy::ReportAndFail));
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
        QSet<int> expected{1, 2};
        for (int base = 101; base <= 701; base += 100)
            expected << base + 1 << base + 2;
        for (int r = 997; r <= 1018; ++r)
            expected << r;
        for (int i = 0; i < MachineCount; ++i)
            expected << 2000 + 10 * i << 2001 + 10 * i << 2002 + 10 * i << 2003 + 10 * i;
        for (int r = 2800; r <= 2840; r += 10)
            expected << r;
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
        QVERIFY(LoadData(loaded, path(), KeyPolicy::ReportAndFail));
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
            QVERIFY(LoadData(loaded, path(), KeyPolicy::ReportAndFail));
            QCOMPARE(loaded.Accounts[1].Password, value);
            QCOMPARE(fileMode(path()), mode_t(0600));
        } else {
            QVERIFY2(result.error.contains(QStringLiteral("password")) &&
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
