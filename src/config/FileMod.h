#pragma once

// The data file HOLLISVC.ini: fixed 128-byte records, each holding one value
// scrambled with the file's own key. The console writes it; both programs read it.

#include "ConfigModel.h"

#include <QString>
#include <optional>

namespace FileMod {

inline constexpr int RecordSize = 128;
inline constexpr int MaxRecordText = RecordSize - 2;
inline constexpr int KeyLength = 64;
// What a value may hold beside the file's key.
inline constexpr int MaxValueLength = MaxRecordText - KeyLength;

// What a load does when the file has no usable key.
enum class KeyPolicy {
    MakeNewKey, // the console: make a new key and store it
    RequireKey  // the service: fail, and leave the file alone
};

struct FileResult {
    enum class Failure { None, NoKey, Error };
    Failure failure = Failure::None;
    QString error; // why it failed, naming the file or the value

    explicit operator bool() const { return failure == Failure::None; }
};

// Device, inode, size and modification time: what tells one version of the file from
// another without reading it; nullopt when there is no file.
using FileStamp = std::array<qint64, 5>;
[[nodiscard]] std::optional<FileStamp> StampOf(const QString& path);

// Why a value typed into the console cannot go into the data file, as words that follow
// the field's name; empty when it can.
[[nodiscard]] QString TypedValueProblem(const QString& value);

// `folder`/`BASENAME`.ini, the base name in upper case.
[[nodiscard]] QString DataFilePath(const QString& folder,
                                   const QString& baseName = QStringLiteral("HOLLISVC"));

// Reads the whole file. The model is replaced only when the load succeeds. Only
// MakeNewKey ever creates or changes the file; under RequireKey a file without a key
// fails with Failure::NoKey.
[[nodiscard]] FileResult LoadData(Configuration& config, const QString& path, KeyPolicy policy);

// Rewrites the whole file from the model. Every value is checked first; the new file
// replaces the old one in a single rename, readable by its owner only. On failure the
// old file stays as it was.
[[nodiscard]] FileResult SaveData(const Configuration& config, const QString& path);

} // namespace FileMod
