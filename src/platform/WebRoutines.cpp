#include "WebRoutines.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace WebRoutines {

namespace {

// One connection attempt; answers once, then goes.
class Probe : public QObject {
public:
    Probe(QObject* context, std::function<void(bool)> done)
        : QObject(context), done_(std::move(done)) {}

    void start(const QUrl& url, int timeoutMs) {
        connect(&socket_, &QTcpSocket::connected, this, [this] { answer(true); });
        connect(&socket_, &QTcpSocket::errorOccurred, this, [this] { answer(false); });
        const bool valid = url.isValid() && !url.host().isEmpty();
        QTimer::singleShot(valid ? timeoutMs : 0, this, [this] { answer(false); });
        if (valid)
            socket_.connectToHost(url.host(),
                                  quint16(url.port(url.scheme() == u"https" ? 443 : 80)));
    }

private:
    void answer(bool connected) {
        if (!done_)
            return;
        const auto done = std::exchange(done_, nullptr);
        socket_.abort();
        deleteLater();
        done(connected);
    }

    QTcpSocket socket_;
    std::function<void(bool)> done_;
};

} // namespace

QUrl ProbeUrl() {
    return QUrl(
        qEnvironmentVariable("HOLLIMERE_PROBE_URL", QStringLiteral("https://www.debian.org/")));
}

void ProbeInternet(QObject* context, std::function<void(bool)> done, int timeoutMs) {
    (new Probe(context, std::move(done)))->start(ProbeUrl(), timeoutMs);
}

void StartDownload(const QUrl& url, const QString& path, QObject* context,
                   std::function<void(bool)> done, int timeoutMs) {
    auto* manager = new QNetworkAccessManager(context);
    manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = manager->get(request);
    QTimer::singleShot(timeoutMs, reply, [reply] { reply->abort(); });

    // The whole answer is written to a file beside `path` and renamed over it at the end.
    auto file = std::make_shared<QSaveFile>(path);
    auto ok = std::make_shared<bool>(file->open(QIODevice::WriteOnly));
    QObject::connect(reply, &QNetworkReply::readyRead, manager, [reply, file, ok] {
        if (*ok)
            *ok = file->write(reply->readAll()) >= 0;
    });
    QObject::connect(reply, &QNetworkReply::finished, context, [=] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        bool whole =
            *ok && reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
        if (whole)
            whole = file->write(reply->readAll()) >= 0 && file->commit();
        else
            file->cancelWriting();
        manager->deleteLater();
        done(whole);
    });
}

bool DownloadFile(const QUrl& url, const QString& path, int timeoutMs) {
    return Await<bool>([&](QObject* context, std::function<void(bool)> done) {
        StartDownload(url, path, context, std::move(done), timeoutMs);
    });
}

} // namespace WebRoutines
