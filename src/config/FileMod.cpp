#include "FileMod.h"

#include "Ansi.h"
#include "EventLog.h"
#include "ReadRules.h"
#include "SecurityMod.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace FileMod {

namespace {

constexpr int KeyRecord = 1010;

// Records of account slot n are Base + n + 1.
enum AccountBase : int {
    NameBase = 0,
    ServerBase = 101,
    UserBase = 201,
    PasswordBase = 301,
    GlobalBase = 401,
    ExchangeUserBase = 501,
    RemoteDomainBase = 601,
    KeepBase = 701,
};

enum SettingRecord : int {
    PopTimeoutRecord = 997,
    SmtpTimeoutRecord = 998,
    PostmasterRecord = 999,
    SmtpServerRecord = 1000,
    SmtpUserRecord = 1001,
    SmtpPasswordRecord = 1002,
    SmtpPortRecord = 1003,
    LocalDomainRecord = 1004,
    IntervalRecord = 1005,
    SendToPostmasterRecord = 1006,
    MultitaskRecord = 1007,
    LogModeRecord = 1008,
    NoInternetCheckRecord = 1009,
    NoMailDaysRecord = 1011,
    ArrayMemberRecord = 2800,
    ArrayText1Record = 2810,
    ArrayPrimaryRecord = 2820,
    ArrayText2Record = 2830,
    ArrayText3Record = 2840,
};

// Machine entry i: the console's block at 2000 + 10i, a second block at 3001 + 10i
// that only files from elsewhere hold, and that wins on load.
constexpr int machineRecord(int block, int i, int field) {
    return block + 10 * i + field;
}

struct LoadError {
    QString description;
};

// The file's bytes, addressed by record number.
class RecordImage {
public:
    RecordImage() = default;
    explicit RecordImage(QByteArray bytes) : bytes_(std::move(bytes)) {}

    QByteArray raw(int record) const {
        const qsizetype offset = qsizetype(record - 1) * RecordSize;
        if (offset >= bytes_.size())
            return {};
        if (offset + RecordSize > bytes_.size())
            throw LoadError{
                QStringLiteral("Record %1 is cut short by the end of the file").arg(record)};
        const auto* p = reinterpret_cast<const unsigned char*>(bytes_.constData() + offset);
        const int length = p[0] | (p[1] << 8);
        if (length > MaxRecordText)
            throw LoadError{QStringLiteral("Record %1 claims %2 bytes; a record holds at most %3")
                                .arg(record)
                                .arg(length)
                                .arg(MaxRecordText)};
        return bytes_.mid(offset + 2, length);
    }

    void put(int record, const QByteArray& text) {
        Q_ASSERT(text.size() <= MaxRecordText);
        const qsizetype offset = qsizetype(record - 1) * RecordSize;
        if (bytes_.size() < offset + RecordSize)
            bytes_.resize(offset + RecordSize, '\0');
        char* p = bytes_.data() + offset;
        std::fill(p, p + RecordSize, '\0');
        p[0] = static_cast<char>(text.size() & 0xFF);
        p[1] = static_cast<char>(text.size() >> 8);
        std::copy(text.begin(), text.end(), p + 2);
    }

    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
};

class Reader {
public:
    Reader(const RecordImage& image, QByteArray key) : image_(image), key_(std::move(key)) {}

    QString text(int record) const {
        const auto plain = SecurityMod::Unscramble(image_.raw(record), key_);
        if (!plain)
            throw LoadError{QStringLiteral("Record %1 is damaged").arg(record)};
        return Ansi::FromAnsi(*plain);
    }

    QString orIfBlank(int record, const QString& fallback) const {
        const QString t = text(record);
        return ReadRules::TrimSpaces(t).isEmpty() ? fallback : t;
    }

    QString orIfEmpty(int record, const QString& fallback) const {
        const QString t = text(record);
        return t.isEmpty() ? fallback : t;
    }

    bool flag(int record) const { return ReadRules::FlagText(text(record)); }

private:
    const RecordImage& image_;
    QByteArray key_;
};

QString makeFileKey() {
    // B-Z and b-z; the key never holds "A" or "a".
    static const QString letters =
        QStringLiteral("BCDEFGHIJKLMNOPQRSTUVWXYZbcdefghijklmnopqrstuvwxyz");
    QString key;
    for (int i = 0; i < KeyLength; ++i)
        key += letters.at(QRandomGenerator::system()->bounded(letters.size()));
    return key;
}

qint16 readInterval(const Reader& in) {
    const QString t = in.orIfBlank(IntervalRecord, QStringLiteral("10"));
    const double minutes = std::floor(ReadRules::LeadingNumber(t));
    if (!(minutes >= -32768.0 && minutes <= 32767.0))
        throw LoadError{
            QStringLiteral("Record %1 (CheckInterval) holds \"%2\", outside -32768..32767")
                .arg(IntervalRecord)
                .arg(t)};
    return static_cast<qint16>(minutes);
}

AccountRecord readAccount(const Reader& in, int c, const QString& name) {
    AccountRecord a;
    a.AccountName = name;
    a.MailServer = in.text(ServerBase + c);
    a.UserName = in.text(UserBase + c);
    a.Password = in.text(PasswordBase + c);
    const QString global = in.orIfBlank(GlobalBase + c, QStringLiteral("0"));
    const auto isGlobal = ReadRules::BooleanText(global);
    if (!isGlobal)
        throw LoadError{
            QStringLiteral("Record %1 (GlobalMailHost) holds \"%2\", which is not a Boolean")
                .arg(GlobalBase + c)
                .arg(global)};
    a.GlobalMailHost = *isGlobal;
    a.ExchangeUser = in.text(ExchangeUserBase + c);
    a.RemoteDomain = in.text(RemoteDomainBase + c);
    a.KeepMailOnHost =
        ReadRules::LeadingNumber(in.orIfBlank(KeepBase + c, QStringLiteral("0"))) != 0.0;
    return a;
}

void readRecords(Configuration& cfg, const Reader& in) {
    int n = 0;
    for (int c = 1; c <= StoredAccounts; ++c) {
        const QString name = in.text(NameBase + c);
        if (!ReadRules::TrimSpaces(name).isEmpty())
            cfg.Accounts[n++] = readAccount(in, c, name);
    }

    ConfigSettings& s = cfg.Settings;
    s.PopTimeout = in.orIfBlank(PopTimeoutRecord, QStringLiteral("30"));
    s.SmtpTimeout = in.orIfBlank(SmtpTimeoutRecord, QStringLiteral("30"));
    s.PostmasterMailbox = in.orIfBlank(PostmasterRecord, QStringLiteral("Administrator"));
    s.SmtpServer = in.text(SmtpServerRecord);
    s.SmtpUserName = in.text(SmtpUserRecord);
    s.SmtpPassword = in.text(SmtpPasswordRecord);
    s.SmtpPort = in.text(SmtpPortRecord);
    s.LocalDomain = in.text(LocalDomainRecord);
    s.CheckInterval = readInterval(in);
    s.SendToPostmaster = in.orIfEmpty(SendToPostmasterRecord, QStringLiteral("0"));
    s.MultitaskMode = in.orIfEmpty(MultitaskRecord, QStringLiteral("0"));
    s.LogMode = in.orIfEmpty(LogModeRecord, QStringLiteral("2"));
    s.NoInternetCheck = in.orIfEmpty(NoInternetCheckRecord, QStringLiteral("0"));
    for (int d = 0; d < NoMailDayCount; ++d)
        s.NoMailDays[d] = in.flag(NoMailDaysRecord + d);

    // The console's block is read (a damaged record there still fails the load) and
    // then replaced by the second block, as every reader of the file does.
    for (int i = 0; i < MachineCount; ++i) {
        ArrayMachine& m = cfg.Machines[i];
        m.MachineName = in.text(machineRecord(2000, i, 0));
        if (!ReadRules::TrimSpaces(m.MachineName).isEmpty()) {
            m.MachineFlag1 = in.flag(machineRecord(2000, i, 1));
            m.MachineFlag2 = in.flag(machineRecord(2000, i, 2));
            m.MachineText = in.text(machineRecord(2000, i, 3));
        }
    }
    s.ArrayMember = in.flag(ArrayMemberRecord);
    s.ArrayText1 = in.text(ArrayText1Record);
    s.ArrayPrimary = in.flag(ArrayPrimaryRecord);
    s.ArrayText2 = in.text(ArrayText2Record);
    s.ArrayText3 = in.text(ArrayText3Record);
    for (int i = 0; i < MachineCount; ++i) {
        ArrayMachine& m = cfg.Machines[i];
        m.MachineName = in.text(machineRecord(3001, i, 0));
        m.MachineText = in.text(machineRecord(3001, i, 1));
        m.MachineFlag2 = in.flag(machineRecord(3001, i, 2));
        m.MachineFlag1 = in.flag(machineRecord(3001, i, 3));
    }
}

// Writes `bytes` to a new file beside `path` and renames it over `path`, so that a
// reader sees the old file or the new one, never a part. Owner-only, every time.
FileResult writeAtomically(const QString& path, const QByteArray& bytes) {
    QTemporaryFile tmp(path + QStringLiteral(".XXXXXX"));
    if (!tmp.open())
        return {false,
                QStringLiteral("Cannot create a file beside %1: %2").arg(path, tmp.errorString())};
    const bool written = tmp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         tmp.write(bytes) == bytes.size() && tmp.flush() &&
                         ::fsync(tmp.handle()) == 0;
    if (!written)
        return {false,
                QStringLiteral("Cannot write %1: %2").arg(tmp.fileName(), tmp.errorString())};
    tmp.close();
    if (std::rename(QFile::encodeName(tmp.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return {false, QStringLiteral("Cannot replace %1: %2").arg(path, qt_error_string(errno))};
    tmp.setAutoRemove(false);
    // Make the rename itself durable.
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {true, {}};
}

FileResult loadFile(Configuration& config, const QString& path, KeyPolicy policy) {
    const bool console = policy == KeyPolicy::MakeNewKey;
    QFile file(path);
    RecordImage image;
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            throw LoadError{QStringLiteral("Cannot open %1: %2").arg(path, file.errorString())};
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw LoadError{QStringLiteral("Cannot read %1: %2").arg(path, file.errorString())};
        image = RecordImage(std::move(bytes));
    }

    const QByteArray fixedKey(SecurityMod::FixedKey);
    QString fileKey = Reader(image, fixedKey).text(KeyRecord);
    if (ReadRules::TrimSpaces(fileKey).isEmpty()) {
        if (!console) {
            if (policy == KeyPolicy::ReportAndFail)
                LogEvent(EventLog::Error, 1200,
                         QStringLiteral("Data File Not setup, Run QVL POP3 Management Console."));
            return {false,
                    QStringLiteral("%1 has no key: it was not set up by the console").arg(path)};
        }
        fileKey = makeFileKey();
        image.put(KeyRecord, SecurityMod::Scramble(fileKey.toLatin1(), fixedKey));
        if (FileResult saved = writeAtomically(path, image.bytes()); !saved)
            throw LoadError{saved.error};
    }

    Configuration loaded;
    loaded.Settings.FileKey = fileKey;
    // Any key read from a file decodes to Windows-1252 again without loss.
    readRecords(loaded, Reader(image, *Ansi::ToAnsi(fileKey)));
    config = std::move(loaded);
    return {true, {}};
}

// Why `value` does not fit a record with `room` bytes beside the key; empty when it fits,
// and then `bytes` holds it.
QString storeProblem(const QString& value, qsizetype room, QByteArray& bytes) {
    char32_t bad = 0;
    const auto ansi = Ansi::ToAnsi(value, &bad);
    if (!ansi)
        return QStringLiteral("holds the character %1, which the data file cannot store")
            .arg(Ansi::CodePointName(bad));
    if (ansi->contains('\0'))
        return QStringLiteral("holds a NUL character, which the data file cannot store");
    if (ansi->size() > room)
        return QStringLiteral("is %1 characters long; at most %2 fit in the data file")
            .arg(ansi->size())
            .arg(room);
    bytes = *ansi;
    return {};
}

struct SaveError {
    QString description;
};

class Writer {
public:
    Writer(RecordImage& image, QByteArray key) : image_(image), key_(std::move(key)) {}

    void text(int record, const QString& value, const QString& field) {
        QByteArray bytes;
        if (const QString problem = storeProblem(value, MaxRecordText - key_.size(), bytes);
            !problem.isEmpty())
            throw SaveError{field + u' ' + problem};
        image_.put(record, SecurityMod::Scramble(bytes, key_));
    }

    void flag(int record, bool value, const QString& field) {
        text(record, value ? QStringLiteral("1") : QStringLiteral("0"), field);
    }

private:
    RecordImage& image_;
    QByteArray key_;
};

RecordImage buildImage(const Configuration& config) {
    const ConfigSettings& s = config.Settings;
    const auto key = Ansi::ToAnsi(s.FileKey);
    if (!key || ReadRules::TrimSpaces(s.FileKey).isEmpty() ||
        key->size() + qsizetype(sizeof SecurityMod::FixedKey - 1) > MaxRecordText)
        throw SaveError{QStringLiteral("The configuration has no usable file key")};

    RecordImage image;
    Writer out(image, *key);
    for (int c = 1; c <= StoredAccounts; ++c) {
        const AccountRecord& a = config.Accounts[c - 1];
        if (a.AccountName.isEmpty() || a.MailServer.isEmpty() || a.UserName.isEmpty() ||
            a.Password.isEmpty())
            continue;
        const QString name = ReadRules::TrimSpaces(a.AccountName);
        const auto field = [&](const char* what) {
            return QStringLiteral("The %1 of account \"%2\"").arg(QLatin1String(what), name);
        };
        out.text(NameBase + c, name, field("name"));
        out.text(ServerBase + c, a.MailServer, field("POP3 server"));
        out.text(UserBase + c, a.UserName, field("user name"));
        out.text(PasswordBase + c, a.Password, field("password"));
        out.flag(GlobalBase + c, a.GlobalMailHost, field("Global ISP Mail Host flag"));
        out.text(ExchangeUserBase + c, a.ExchangeUser, field("local mailbox"));
        out.text(RemoteDomainBase + c, a.RemoteDomain, field("remote domain"));
        out.flag(KeepBase + c, a.KeepMailOnHost, field("Keep Mail on Host flag"));
    }

    const auto setting = [](const char* name) {
        return QStringLiteral("The setting %1").arg(QLatin1String(name));
    };
    out.text(PopTimeoutRecord, s.PopTimeout, setting("PopTimeout"));
    out.text(SmtpTimeoutRecord, s.SmtpTimeout, setting("SmtpTimeout"));
    out.text(PostmasterRecord, s.PostmasterMailbox, setting("PostmasterMailbox"));
    out.text(SmtpServerRecord, s.SmtpServer, setting("SmtpServer"));
    out.text(SmtpUserRecord, s.SmtpUserName, setting("SmtpUserName"));
    out.text(SmtpPasswordRecord, s.SmtpPassword, setting("SmtpPassword"));
    out.text(SmtpPortRecord, s.SmtpPort, setting("SmtpPort"));
    out.text(LocalDomainRecord, s.LocalDomain, setting("LocalDomain"));
    out.text(IntervalRecord, QString::number(s.CheckInterval), setting("CheckInterval"));
    out.text(SendToPostmasterRecord, s.SendToPostmaster, setting("SendToPostmaster"));
    out.text(MultitaskRecord, s.MultitaskMode, setting("MultitaskMode"));
    out.text(LogModeRecord, s.LogMode, setting("LogMode"));
    out.text(NoInternetCheckRecord, s.NoInternetCheck, setting("NoInternetCheck"));
    image.put(KeyRecord, SecurityMod::Scramble(*key, QByteArray(SecurityMod::FixedKey)));
    for (int d = 0; d < NoMailDayCount; ++d)
        out.flag(NoMailDaysRecord + d, s.NoMailDays[d], setting("NoMailDays"));

    out.flag(ArrayMemberRecord, s.ArrayMember, setting("ArrayMember"));
    out.text(ArrayText1Record, s.ArrayText1, setting("ArrayText1"));
    out.flag(ArrayPrimaryRecord, s.ArrayPrimary, setting("ArrayPrimary"));
    out.text(ArrayText2Record, s.ArrayText2, setting("ArrayText2"));
    out.text(ArrayText3Record, s.ArrayText3, setting("ArrayText3"));
    for (int i = 0; i < MachineCount; ++i) {
        const ArrayMachine& m = config.Machines[i];
        const QString field = QStringLiteral("Machine entry %1").arg(i);
        out.text(machineRecord(2000, i, 0), m.MachineName, field);
        out.text(machineRecord(2000, i, 3), m.MachineText, field);
        out.flag(machineRecord(2000, i, 2), m.MachineFlag2, field);
        out.flag(machineRecord(2000, i, 1), m.MachineFlag1, field);
    }
    return image;
}

} // namespace

QString TypedValueProblem(const QString& value) {
    for (const QChar c : value) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("holds a control character (%1)")
                .arg(Ansi::CodePointName(c.unicode()));
    }
    QByteArray bytes;
    return storeProblem(value, MaxValueLength, bytes);
}

QString DataFilePath(const QString& folder, const QString& baseName) {
    return QDir(folder).filePath(baseName.toUpper() + QStringLiteral(".ini"));
}

FileResult LoadData(Configuration& config, const QString& path, KeyPolicy policy) {
    try {
        return loadFile(config, path, policy);
    } catch (const LoadError& e) {
        if (policy == KeyPolicy::ReportAndFail)
            LogEvent(EventLog::Error, 1090, QStringLiteral("Read Engine Error: ") + e.description);
        return {false, e.description};
    }
}

FileResult SaveData(const Configuration& config, const QString& path) {
    try {
        return writeAtomically(path, buildImage(config).bytes());
    } catch (const SaveError& e) {
        return {false, e.description};
    }
}

} // namespace FileMod
