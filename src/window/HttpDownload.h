#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <chrono>

namespace quillon {

// The update check waits no longer than this for the whole version file.
inline constexpr std::chrono::milliseconds kDownloadTimeLimit{10'000};
// A version file is one short line; anything much larger is not one.
inline constexpr qint64 kMaxDownloadBytes = 64 * 1024;

struct DownloadResult {
    bool ok = false;
    QString reason; // what went wrong, in words for the user; empty on success
    // The application is quitting and ended the wait: nobody is left to tell.
    bool cancelled = false;
};

// One HTTP GET of `source`, redirects not followed. Success only for a 2xx status with the whole
// body received within `timeLimit` and no larger than `maxBytes`; the body then replaces
// `localFile` through a temporary file beside it, so the file is never half-written. On any
// failure `localFile` is left as it was. Waits in a local event loop, so the window keeps
// painting and answering while the download runs.
DownloadResult HttpDownload(const QUrl& source, const QString& localFile,
                            std::chrono::milliseconds timeLimit = kDownloadTimeLimit,
                            qint64 maxBytes = kMaxDownloadBytes);

} // namespace quillon
