#include "FileMod.h"

#include "Ansi.h"
#include "AtomicFile.h"
#include "ReadRules.h"
#include "RecordLayout.h"
#include "SecurityMod.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cmath>
#include <span>
#include <sys/stat.h>

namespace FileMod {

namespace {

FileResult failure(QString why) {
    return {FileResult::Failure::Error, std::move(why)};
}

// Calls apply(record, value) for every record a field fills: the field itself, or each
// element of an array field.
template <class Owner, class Object, class Apply>
void forEachRecord(const Field<Owner>& field, int offset, Object& owner, Apply&& apply) {
    std::visit(
        [&](auto member) {
            auto& value = owner.*member;
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(value)>,
                                         std::array<bool, NoMailDayCount>>) {
                for (int d = 0; d < NoMailDayCount; ++d)
                    apply(field.record + offset + d, value[d]);
            } else {
                apply(field.record + offset, value);
            }
        },
        field.member);
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

// The file's records, addressed by number, each scrambled with a key: the fixed key
// until the file's own key is set.
class RecordFile {
public:
    explicit RecordFile(QByteArray bytes = {}) : bytes_(std::move(bytes)) {}

    void setKey(QByteArray key) { key_ = std::move(key); }
    const QByteArray& bytes() const { return bytes_; }

    QString text(int record) const {
        const qsizetype offset = qsizetype(record - 1) * RecordSize;
        if (offset >= bytes_.size())
            return {};
        if (offset + RecordSize > bytes_.size())
            throw failure(
                QStringLiteral("Record %1 is cut short by the end of the file").arg(record));
        const auto* p = reinterpret_cast<const unsigned char*>(bytes_.constData() + offset);
        const int length = p[0] | (p[1] << 8);
        if (length > MaxRecordText)
            throw failure(QStringLiteral("Record %1 claims %2 bytes; a record holds at most %3")
                              .arg(record)
                              .arg(length)
                              .arg(MaxRecordText));
        const auto plain = SecurityMod::Unscramble(bytes_.mid(offset + 2, length), key_);
        if (!plain)
            throw failure(QStringLiteral("Record %1 is damaged").arg(record));
        return Ansi::FromAnsi(*plain);
    }

    void put(int record, const QByteArray& plain) {
        const QByteArray text = SecurityMod::Scramble(plain, key_);
        Q_ASSERT(text.size() <= MaxRecordText);
        const qsizetype offset = qsizetype(record - 1) * RecordSize;
        if (bytes_.size() < offset + RecordSize)
            bytes_.resize(offset + RecordSize, '\0');
        const char length[] = {char(text.size() & 0xFF), char(text.size() >> 8)};
        bytes_.replace(offset, RecordSize,
                       (QByteArray(length, 2) + text).leftJustified(RecordSize, '\0'));
    }

    template <class Owner> void read(const Field<Owner>& field, int offset, Owner& into) const {
        forEachRecord(field, offset, into, [&](int record, auto& value) {
            value = convert<std::remove_cvref_t<decltype(value)>>(field, record);
        });
    }

    // Reads the first field, which names the entry, and the others only when it is not
    // blank; true when it is not.
    template <class Owner, std::size_t N>
    bool readNamed(const Field<Owner> (&fields)[N], int offset, Owner& into) const {
        read(fields[0], offset, into);
        if (ReadRules::TrimSpaces(into.*std::get<QString Owner::*>(fields[0].member)).isEmpty())
            return false;
        for (const auto& field : std::span(fields).subspan(1))
            read(field, offset, into);
        return true;
    }

    // owner names whose value it is in a refusal: "account \"Sales\"", "the settings".
    template <class Owner>
    void write(const Field<Owner>& field, int offset, const Owner& from, const QString& owner) {
        forEachRecord(field, offset, from, [&](int record, const auto& value) {
            using T = std::remove_cvref_t<decltype(value)>;
            QString text;
            if constexpr (std::is_same_v<T, QString>)
                text = value;
            else if constexpr (std::is_same_v<T, bool>)
                text = value ? QStringLiteral("1") : QStringLiteral("0");
            else
                text = QString::number(value);
            QByteArray bytes;
            if (const QString problem = storeProblem(text, MaxRecordText - key_.size(), bytes);
                !problem.isEmpty())
                throw failure(QStringLiteral("%1 of %2 ").arg(QLatin1String(field.name), owner) +
                              problem);
            put(record, bytes);
        });
    }

private:
    template <class T, class Owner> T convert(const Field<Owner>& field, int record) const {
        QString t = text(record);
        if (*field.fallback &&
            (field.rule == ReadRule::DefaultIfEmpty ? t.isEmpty()
                                                    : ReadRules::TrimSpaces(t).isEmpty()))
            t = QString::fromLatin1(field.fallback);
        std::optional<T> value;
        if constexpr (std::is_same_v<T, QString>) {
            value = t;
        } else if constexpr (std::is_same_v<T, bool>) {
            value = field.rule == ReadRule::NonZero ? ReadRules::LeadingNumber(t) != 0.0
                    : field.rule == ReadRule::Flag  ? ReadRules::FlagText(t)
                                                    : ReadRules::BooleanText(t);
        } else if (const double minutes = std::floor(ReadRules::LeadingNumber(t));
                   minutes >= -32768.0 && minutes <= 32767.0) {
            value = static_cast<qint16>(minutes);
        }
        if (!value)
            throw failure(QStringLiteral("Record %1 (%2) holds \"%3\", %4")
                              .arg(QString::number(record), QLatin1String(field.name), t,
                                   std::is_same_v<T, bool>
                                       ? QStringLiteral("which is not a Boolean")
                                       : QStringLiteral("outside -32768..32767")));
        return *value;
    }

    QByteArray bytes_;
    QByteArray key_ = SecurityMod::FixedKey;
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

void writeFile(const QString& path, const QByteArray& bytes) {
    if (const QString error = WriteAtomically(path, bytes); !error.isEmpty())
        throw failure(error);
}

void readRecords(Configuration& cfg, const RecordFile& in) {
    int n = 0;
    for (int c = 0; c < StoredAccounts; ++c)
        n += in.readNamed(AccountFields, c * AccountStep, cfg.Accounts[n]);
    cfg.Accounts[n] = AccountRecord(); // a blank name read last
    for (const auto& field : SettingFields)
        in.read(field, 0, cfg.Settings);
    for (int i = 0; i < MachineCount; ++i) {
        in.readNamed(MachineFields, i * MachineStep, cfg.Machines[i]);
        for (const auto& field : LaterMachineFields)
            in.read(field, i * MachineStep, cfg.Machines[i]);
    }
}

FileResult loadFile(Configuration& config, const QString& path, KeyPolicy policy) {
    QFile file(path);
    QByteArray bytes;
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            throw failure(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    }

    RecordFile records(std::move(bytes));
    QString fileKey = records.text(KeyRecord);
    if (ReadRules::TrimSpaces(fileKey).isEmpty()) {
        if (policy == KeyPolicy::RequireKey)
            return {FileResult::Failure::NoKey,
                    QStringLiteral("%1 has no key: it was not set up by the console").arg(path)};
        fileKey = makeFileKey();
        records.put(KeyRecord, fileKey.toLatin1());
        writeFile(path, records.bytes());
    }

    Configuration loaded;
    loaded.Settings.FileKey = fileKey;
    // Any key read from a file decodes to Windows-1252 again without loss.
    records.setKey(*Ansi::ToAnsi(fileKey));
    readRecords(loaded, records);
    config = std::move(loaded);
    return {};
}

RecordFile buildFile(const Configuration& config) {
    const ConfigSettings& s = config.Settings;
    const auto key = Ansi::ToAnsi(s.FileKey);
    if (!key || ReadRules::TrimSpaces(s.FileKey).isEmpty() ||
        key->size() + qsizetype(sizeof SecurityMod::FixedKey - 1) > MaxRecordText)
        throw failure(QStringLiteral("The configuration has no usable file key"));

    RecordFile out;
    out.put(KeyRecord, *key);
    out.setKey(*key);
    for (int c = 0; c < StoredAccounts; ++c) {
        AccountRecord a = config.Accounts[c];
        if (a.AccountName.isEmpty() || a.MailServer.isEmpty() || a.UserName.isEmpty() ||
            a.Password.isEmpty())
            continue;
        a.AccountName = ReadRules::TrimSpaces(a.AccountName);
        const QString owner = QStringLiteral("account \"%1\"").arg(a.AccountName);
        for (const auto& field : AccountFields)
            out.write(field, c * AccountStep, a, owner);
    }
    for (const auto& field : SettingFields)
        out.write(field, 0, s, QStringLiteral("the settings"));
    for (int i = 0; i < MachineCount; ++i) {
        for (const auto& field : MachineFields)
            out.write(field, i * MachineStep, config.Machines[i],
                      QStringLiteral("machine entry %1").arg(i));
    }
    return out;
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

std::optional<FileStamp> StampOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileStamp{qint64(st.st_dev), qint64(st.st_ino), st.st_size, st.st_mtim.tv_sec,
                     st.st_mtim.tv_nsec};
}

QString DataFilePath(const QString& folder, const QString& baseName) {
    return QDir(folder).filePath(baseName.toUpper() + QStringLiteral(".ini"));
}

FileResult LoadData(Configuration& config, const QString& path, KeyPolicy policy) {
    try {
        return loadFile(config, path, policy);
    } catch (const FileResult& e) {
        return e;
    }
}

FileResult SaveData(const Configuration& config, const QString& path) {
    try {
        writeFile(path, buildFile(config).bytes());
        return {};
    } catch (const FileResult& e) {
        return e;
    }
}

} // namespace FileMod
