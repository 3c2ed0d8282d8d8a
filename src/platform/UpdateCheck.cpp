#include "UpdateCheck.h"

#include "WebRoutines.h"

#include <QFile>
#include <QTimer>

namespace UpdateCheck {

QString VersionLine(const QString& program) {
    return QStringLiteral("%1 %2.%3").arg(program).arg(ProgramMajor).arg(ProgramMinor);
}

QString ServerBase() {
    QString base =
        qEnvironmentVariable("HOLLIMERE_UPDATE_URL", QStringLiteral(HOLLIMERE_UPDATE_SERVER));
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

QUrl VersionFileUrl() {
    const QString base = ServerBase();
    return base.isEmpty()
               ? QUrl()
               : QUrl(base + QStringLiteral("/us/software/qvlGateway/download/revision.dat"));
}

QString DownloadPageUrl() {
    return ServerBase() + QStringLiteral("/software/QVL_POP3/download.htm");
}

void FetchVersionText(const QString& localCopy, QObject* context,
                      std::function<void(std::optional<QString>)> done) {
    const QUrl url = VersionFileUrl();
    if (url.isEmpty()) {
        QTimer::singleShot(0, context, [done = std::move(done)] { done(std::nullopt); });
        return;
    }
    QFile::remove(localCopy);
    WebRoutines::StartDownload(url, localCopy, context, [localCopy, done](bool fetched) {
        QFile file(localCopy);
        if (!fetched || !file.open(QIODevice::ReadOnly))
            return done(std::nullopt);
        const QString text = QString::fromLatin1(file.readAll());
        done(text.trimmed().isEmpty() ? std::nullopt : std::optional(text));
    });
}

std::optional<QString> FetchVersionText(const QString& localCopy) {
    return WebRoutines::Await<std::optional<QString>>(
        [&](QObject* context, std::function<void(std::optional<QString>)> done) {
            FetchVersionText(localCopy, context, std::move(done));
        });
}

std::optional<Version> ReadVersion(const QString& text) {
    const QStringList parts = text.split(u'.');
    if (parts.size() < 2 || parts.size() > 5)
        return std::nullopt;
    bool majorOk = false;
    bool minorOk = false;
    const Version v{parts.at(0).trimmed().toDouble(&majorOk),
                    parts.at(1).trimmed().toDouble(&minorOk)};
    if (!majorOk || !minorOk)
        return std::nullopt;
    return v;
}

bool IsNewerVersion(const QString& text, int major, int minor) {
    const auto v = ReadVersion(text);
    return v && (v->major > major || (v->major >= major && v->minor > minor));
}

} // namespace UpdateCheck
