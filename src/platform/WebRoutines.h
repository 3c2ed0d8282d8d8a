#pragma once

// The small web routines of both programs: is the Internet there, and fetch a file.

#include <QString>
#include <QUrl>

namespace WebRoutines {

// HOLLIMERE_PROBE_URL, else a well-known public web site.
[[nodiscard]] QUrl ProbeUrl();

// A real TCP connection attempt to the probe address (never a cached answer).
[[nodiscard]] bool InternetConnected(int timeoutMs = 10000);

// HTTP or HTTPS into `path`. True only for a complete 2xx answer within the time limit;
// on any failure no file, old or partial, is left at `path`'s name from this call.
[[nodiscard]] bool DownloadFile(const QUrl& url, const QString& path, int timeoutMs = 60000);

} // namespace WebRoutines
