#pragma once

// The data file HOLLISVC.ini: fixed 128-byte records, each holding one value
// scrambled with the file's own key. The console writes it; both programs read it.

#include "ConfigModel.h"

#include <QString>

namespace FileMod {

inline constexpr int RecordSize = 128;
inline constexpr int MaxRecordText = RecordSize - 2;
inline constexpr int KeyLength = 64;
// What a value may hold beside the file's key.
inline constexpr int MaxValueLength = MaxRecordText - KeyLength;

// What a load does when the file has no usable key.
enum class KeyPolicy {
    MakeNewKey,    // the console: make a new key and store it
    ReportAndFail, // the service: event 1200, and fail
    FailSilently   // a look that must not fill the log: fail without a word
};

struct FileResult {
    bool ok = false;
    QString error; // why it failed, naming the file or the value

    explicit operator bool() const { return ok; }
};

// Why a value typed into the console cannot go into the data file (no Windows-1252 byte,
// a control character, longer than MaxValueLength), as words that follow the field's
// name; empty when it can.
[[nodiscard]] QString TypedValueProblem(const QString& value);

// `folder`/`BASENAME`.ini, the base name in upper case.
[[nodiscard]] QString DataFilePath(const QString& folder,
                                   const QString& baseName = QStringLiteral("HOLLISVC"));

// Reads the whole file. The model is replaced only when the load succeeds.
// Under ReportAndFail every failure is also written to the event log (1200, 1090).
// Only MakeNewKey ever creates or changes the file.
[[nodiscard]] FileResult LoadData(Configuration& config, const QString& path, KeyPolicy policy);

// Rewrites the whole file from the model. Every value is checked first; the new file
// replaces the old one in a single rename, readable by its owner only. On failure the
// old file stays as it was.
[[nodiscard]] FileResult SaveData(const Configuration& config, const QString& path);

} // namespace FileMod
