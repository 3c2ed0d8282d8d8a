#include "WebRoutines.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTimer>

namespace WebRoutines {

QUrl ProbeUrl() {
    return QUrl(
        qEnvironmentVariable("HOLLIMERE_PROBE_URL", QStringLiteral("https://www.debian.org/")));
}

bool InternetConnected(int timeoutMs) {
    const QUrl url = ProbeUrl();
    if (!url.isValid() || url.host().isEmpty())
        return false;
    QTcpSocket socket;
    socket.connectToHost(url.host(),
                         static_cast<quint16>(url.port(url.scheme() == u"https" ? 443 : 80)));
    const bool connected = socket.waitForConnected(timeoutMs);
    socket.abort();
    return connected;
}

bool DownloadFile(const QUrl& url, const QString& path, int timeoutMs) {
    QNetworkAccessManager manager;
    manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = manager.get(request);

    // The whole answer is written to a file beside `path` and renamed over it at the end.
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (ok)
            ok = file.write(reply->readAll()) >= 0;
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, [reply] { reply->abort(); });
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    ok = ok && reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
    if (ok)
        ok = file.write(reply->readAll()) >= 0 && file.commit();
    else
        file.cancelWriting();
    reply->deleteLater();
    return ok;
}

} // namespace WebRoutines
