#pragma once

// The small web routines of both programs: is the Internet there, and fetch a file.
// Each answers through a callback on the calling thread, which goes on with its events
// meanwhile; destroying `context` first cancels the work, and the callback never runs.

#include <QEventLoop>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace WebRoutines {

// HOLLIMERE_PROBE_URL, else a well-known public web site.
[[nodiscard]] QUrl ProbeUrl();

// A real TCP connection attempt to the probe address (never a cached answer).
void ProbeInternet(QObject* context, std::function<void(bool)> done, int timeoutMs = 10000);

// HTTP or HTTPS into `path`. True only for a complete 2xx answer within the time limit;
// on any failure no file, old or partial, is left at `path`'s name from this call.
void StartDownload(const QUrl& url, const QString& path, QObject* context,
                   std::function<void(bool)> done, int timeoutMs = 60000);

// Runs start(context, done) to its answer in a local event loop that takes no user
// input; a default T when the loop is ended from outside first.
template <class T, class Start> [[nodiscard]] T Await(Start start) {
    std::optional<T> answer;
    QEventLoop loop;
    start(&loop, [&](T value) {
        answer = std::move(value);
        loop.quit();
    });
    if (!answer)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return answer.value_or(T{});
}

// StartDownload, waited for: for a program whose window must wait anyway.
[[nodiscard]] bool DownloadFile(const QUrl& url, const QString& path, int timeoutMs = 60000);

} // namespace WebRoutines
