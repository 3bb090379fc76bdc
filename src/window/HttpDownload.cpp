#include "HttpDownload.h"

#include <QByteArray>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

#include <memory>

namespace quillon {

namespace {

enum class Stop { None, TimedOut, TooLarge, Cancelled };

DownloadResult Failure(const QString& reason) {
    return DownloadResult{false, reason};
}

QString DurationText(std::chrono::milliseconds duration) {
    const auto ms = duration.count();
    if (ms % 1000 == 0) {
        const auto seconds = ms / 1000;
        return seconds == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds);
    }
    return QStringLiteral("%1 ms").arg(ms);
}

QString SizeText(qint64 bytes) {
    if (bytes % 1024 == 0) {
        return QStringLiteral("%1 KiB").arg(bytes / 1024);
    }
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString NetworkErrorText(const QNetworkReply& reply) {
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("the server refused the connection");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("the server closed the connection before the whole answer arrived");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("the server's name could not be found");
    case QNetworkReply::TimeoutError:
        return QStringLiteral("the connection timed out");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("no network is available");
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        return QStringLiteral("the server's answer was not understood");
    default:
        return QStringLiteral("network error (%1)").arg(reply.errorString());
    }
}

QString StatusText(const QNetworkReply& reply, int status) {
    const QString phrase = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
    if (phrase.isEmpty()) {
        return QStringLiteral("the server answered with status %1").arg(status);
    }
    return QStringLiteral("the server answered with status %1 (%2)").arg(status).arg(phrase);
}

DownloadResult WriteWhole(const QString& localFile, const QByteArray& body) {
    QSaveFile file(localFile);
    const QString name = QFileInfo(localFile).fileName();
    if (!file.open(QIODevice::WriteOnly)) {
        return Failure(QStringLiteral("%1 could not be written (%2)").arg(name, file.errorString()));
    }
    if (file.write(body) != body.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return Failure(QStringLiteral("%1 could not be written (%2)").arg(name, error));
    }
    if (!file.commit()) {
        return Failure(QStringLiteral("%1 could not be written (%2)").arg(name, file.errorString()));
    }
    return DownloadResult{true, {}};
}

} // namespace

DownloadResult HttpDownload(const QUrl& source, const QString& localFile, std::chrono::milliseconds timeLimit,
                            qint64 maxBytes) {
    if (!source.isValid() || source.host().isEmpty() ||
        (source.scheme() != QLatin1String("http") && source.scheme() != QLatin1String("https"))) {
        return Failure(QStringLiteral("the address %1 is not a web address").arg(source.toDisplayString()));
    }

    QNetworkAccessManager manager;
    // One GET of the given address: a redirect is an answer like any other non-2xx status.
    manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    QNetworkRequest request(source);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // The point of the check is the newest version file, not a copy a proxy kept.
    request.setRawHeader("Cache-Control", "no-cache");

    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QByteArray body;
    Stop stop = Stop::None;
    const auto stopWith = [&](Stop why) {
        if (stop == Stop::None) {
            stop = why;
        }
        reply->abort();
    };

    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(), [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes) {
            stopWith(Stop::TooLarge);
        }
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] {
        body += reply->read(maxBytes + 1 - body.size());
        if (body.size() > maxBytes) {
            stopWith(Stop::TooLarge);
        }
    });

    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] { stopWith(Stop::TimedOut); });
    timer.start(timeLimit);
    if (!reply->isFinished()) {
        loop.exec();
    }
    timer.stop();
    if (!reply->isFinished()) {
        // The application is quitting and ended every event loop, ours included.
        stopWith(Stop::Cancelled);
    }

    switch (stop) {
    case Stop::TimedOut:
        return Failure(QStringLiteral("no complete answer within %1").arg(DurationText(timeLimit)));
    case Stop::TooLarge:
        return Failure(QStringLiteral("the answer is larger than %1").arg(SizeText(maxBytes)));
    case Stop::Cancelled:
        return DownloadResult{false, QStringLiteral("the download was cancelled"), true};
    case Stop::None:
        break;
    }

    if (body.size() <= maxBytes) {
        body += reply->read(maxBytes + 1 - body.size());
    }
    if (body.size() > maxBytes) {
        return Failure(QStringLiteral("the answer is larger than %1").arg(SizeText(maxBytes)));
    }

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        return Failure(StatusText(*reply, status.toInt()));
    }
    if (reply->error() != QNetworkReply::NoError) {
        return Failure(NetworkErrorText(*reply));
    }
    if (!status.isValid()) {
        return Failure(QStringLiteral("the server's answer was not understood"));
    }
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() != body.size()) {
        return Failure(QStringLiteral("the answer arrived incomplete"));
    }
    return WriteWhole(localFile, body);
}

} // namespace quillon
