#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <chrono>
#include <optional>

namespace quillon {

// The update check waits no longer than this for the whole version file.
inline constexpr std::chrono::milliseconds kDownloadTimeLimit{10'000};
// A version file is one short line; anything much larger is not one.
inline constexpr qint64 kMaxDownloadBytes = 64 * 1024;
// Redirects followed within the one request, http and https only.
inline constexpr int kMaxRedirects = 5;

struct DownloadResult {
    bool ok = false;
    QString reason; // what went wrong, in words for the user; empty on success
    // The application is quitting and ended the wait: nobody is left to tell.
    bool cancelled = false;
};

// One HTTP GET of `source`, following at most kMaxRedirects redirects to http or https addresses.
// Success only for a 2xx status with a body that provably ended (its length equals the one valid
// Content-Length, or its last chunk came, or, with neither, the server closed the connection),
// received within `timeLimit` for headers and body together and no larger than `maxBytes`; the
// body then replaces `localFile` through a temporary file beside it, so the file is never
// half-written. On any failure `localFile` is left as it was, and the request is aborted at once,
// its connection closed. Waits in a local event loop, so the window keeps painting and answering
// while the download runs.
//
// The request runs on a thread of its own: a network manager that is done with waits for its
// network thread, and that thread can be busy for seconds with what a hostile server sent (an
// endless header, say). Once the outcome is known the caller goes on at once; the waiting, the
// closing and the freeing happen on that thread.
// Why a body of `received` bytes that has ended cannot be taken, judged by the answer's
// Content-Length (`contentLength`, repeated headers joined by commas; nothing when absent); empty
// when it can: no length, or one valid length equal to what arrived.
QString BodyLengthProblem(const std::optional<QByteArray>& contentLength, qint64 received,
                          qint64 maxBytes = kMaxDownloadBytes);

DownloadResult HttpDownload(const QUrl& source, const QString& localFile,
                            std::chrono::milliseconds timeLimit = kDownloadTimeLimit,
                            qint64 maxBytes = kMaxDownloadBytes);

} // namespace quillon
