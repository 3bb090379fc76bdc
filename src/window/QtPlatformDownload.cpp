#include "HttpDownload.h"
#include "QtPlatform.h"

#include <QUrl>

namespace quillon {

DownloadResult QtPlatform::DownloadFile(const QUrl& source, const QString& localFile,
                                        std::chrono::milliseconds timeLimit) {
    return HttpDownload(source, localFile, timeLimit);
}

} // namespace quillon
