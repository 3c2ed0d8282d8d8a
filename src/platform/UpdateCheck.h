#pragma once

// The maker's version file: where it is, fetching it, and whether it names a newer version.

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace UpdateCheck {

inline constexpr int ProgramMajor = HOLLIMERE_VERSION_MAJOR;
inline constexpr int ProgramMinor = HOLLIMERE_VERSION_MINOR;

// "hollisvc 3.0": the line both programs answer --version with.
[[nodiscard]] QString VersionLine(const QString& program);

// The maker's web server: HOLLIMERE_UPDATE_URL, else the build setting. Empty when
// neither is set, which turns the check off.
[[nodiscard]] QString ServerBase();
[[nodiscard]] QUrl VersionFileUrl();
[[nodiscard]] QString DownloadPageUrl();

// Replaces `localCopy` with a fresh download of the version file and answers with its
// text; nullopt when the check is off, the download fails or the file is blank. As
// WebRoutines::StartDownload, through `done` unless `context` goes first.
void FetchVersionText(const QString& localCopy, QObject* context,
                      std::function<void(std::optional<QString>)> done);
// The same, waited for.
[[nodiscard]] std::optional<QString> FetchVersionText(const QString& localCopy);

// The first two "."-separated parts as numbers; nullopt for text that is not a version
// (the first two parts not numbers, or more than five parts).
struct Version {
    double major = 0;
    double minor = 0;
};
[[nodiscard]] std::optional<Version> ReadVersion(const QString& text);

// Only the first two parts count; text that is not a version is never newer.
[[nodiscard]] bool IsNewerVersion(const QString& text, int major = ProgramMajor,
                                  int minor = ProgramMinor);

} // namespace UpdateCheck
