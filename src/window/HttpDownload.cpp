#include "HttpDownload.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace quillon {

namespace {

bool IsWebAddress(const QUrl& url) {
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

enum class LengthState { Absent, Valid, Invalid, Conflicting, TooLarge };
struct LengthHeader {
    LengthState state = LengthState::Absent;
    qint64 value = 0;
};

// The Content-Length of the answer. Repeated headers reach us joined by commas; repeats of one
// value are one length, different values are a conflict. A length is plain decimal digits; one
// beyond 64 bits is too large for any download.
LengthHeader ReadContentLength(const std::optional<QByteArray>& header) {
    if (!header) {
        return {};
    }
    LengthHeader result;
    bool first = true;
    for (const QByteArray& part : header->split(',')) {
        const QByteArray digits = part.trimmed();
        if (digits.isEmpty() ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return LengthHeader{LengthState::Invalid, 0};
        }
        bool fits = false;
        const qint64 value = digits.toLongLong(&fits);
        if (!fits) {
            return LengthHeader{LengthState::TooLarge, 0};
        }
        if (!first && value != result.value) {
            return LengthHeader{LengthState::Conflicting, 0};
        }
        result = LengthHeader{LengthState::Valid, value};
        first = false;
    }
    return result;
}

std::optional<QByteArray> ContentLengthOf(const QNetworkReply& reply) {
    return reply.hasRawHeader("Content-Length") ? std::optional(reply.rawHeader("Content-Length")) : std::nullopt;
}

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

QString TooLargeAnswerText(qint64 maxBytes) {
    return QStringLiteral("the answer is larger than %1").arg(SizeText(maxBytes));
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

// What the request thread hands back: the body that arrived, or why there is none. Time-outs and
// cancelling are the caller's, never decided here.
struct Outcome {
    bool ok = false;
    QString reason;
    QByteArray body;
};

// Shared by the caller and the request thread. The caller clears `waiter` (under the lock) when it
// stops waiting; the request thread posts its outcome only to a waiter still there.
struct Exchange {
    QMutex mutex;
    QObject* waiter = nullptr;
    bool requestAlive = true; // cleared, under the lock, before the request thread deletes the request
    std::function<void(Outcome)> deliver;
};

// Runs on the request thread: the whole GET, from sending the request to judging the answer.
class Request {
public:
    Request(const QUrl& source, qint64 maxBytes, std::shared_ptr<Exchange> exchange, QObject* context)
        : m_maxBytes(maxBytes),
          m_exchange(std::move(exchange)),
          m_context(context) {
        m_manager = new QNetworkAccessManager(context);
        Get(source);
    }

    // The caller stopped waiting (time limit, quitting): the request ends here.
    void Abandon() { Finish(Outcome{false, QStringLiteral("abandoned"), {}}); }

private:
    // One GET. A redirect is followed here, hop by hop, with a fresh GET of its target: the network
    // layer's own following loses count of long chains and then reports a made-up status.
    void Get(const QUrl& address) {
        m_address = address;
        m_body.clear();
        QNetworkRequest request(address);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        // The point of the check is the newest version file, not a copy a proxy kept.
        request.setRawHeader("Cache-Control", "no-cache");
        // An unpacked body could be far larger than what came over the wire.
        request.setRawHeader("Accept-Encoding", "identity");

        if (m_reply != nullptr) {
            QObject::disconnect(m_reply, nullptr, m_context, nullptr);
            m_reply->deleteLater();
        }
        m_reply = m_manager->get(request);
        // The network thread holds back what has not been taken, so an endless body stops at the
        // server instead of filling memory.
        m_reply->setReadBufferSize(m_maxBytes + 1);

        QObject::connect(m_reply, &QNetworkReply::metaDataChanged, m_context, [this] {
            const LengthHeader length = ReadContentLength(ContentLengthOf(*m_reply));
            if (length.state == LengthState::Valid && length.value > m_maxBytes) {
                Fail(TooLargeText());
            }
        });
        QObject::connect(m_reply, &QNetworkReply::downloadProgress, m_context, [this](qint64 received, qint64) {
            if (received > m_maxBytes) {
                Fail(TooLargeText());
            }
        });
        QObject::connect(m_reply, &QNetworkReply::readyRead, m_context, [this] { Take(); });
        QObject::connect(m_reply, &QNetworkReply::finished, m_context, [this] { Judge(); });
    }

    // True when the answer was a redirect and the next hop has been started (or refused).
    bool FollowRedirect(int status) {
        if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) {
            return false;
        }
        const QByteArray location = m_reply->rawHeader("Location");
        if (location.isEmpty()) {
            return false;
        }
        const QUrl target = m_address.resolved(QUrl::fromEncoded(location.trimmed()));
        if (!IsWebAddress(target)) {
            Fail(QStringLiteral("the server redirected to %1, which is not a web address")
                     .arg(target.toDisplayString()));
            return true;
        }
        if (++m_redirects > kMaxRedirects) {
            Fail(QStringLiteral("the server redirected more than %1 times").arg(kMaxRedirects));
            return true;
        }
        Get(target);
        return true;
    }

    QString TooLargeText() const { return TooLargeAnswerText(m_maxBytes); }

    void Take() {
        if (m_done) {
            return;
        }
        m_body += m_reply->read(m_maxBytes + 1 - m_body.size());
        if (m_body.size() > m_maxBytes) {
            Fail(TooLargeText());
        }
    }

    void Fail(const QString& reason) { Finish(Outcome{false, reason, {}}); }

    void Judge() {
        if (m_done) {
            return;
        }
        Take();
        if (m_done) {
            return;
        }
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = m_reply->error();
        if (status.isValid() && FollowRedirect(status.toInt())) {
            return;
        }
        if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
            Fail(StatusText(*m_reply, status.toInt()));
            return;
        }
        if (error != QNetworkReply::NoError) {
            Fail(NetworkErrorText(*m_reply));
            return;
        }
        if (!status.isValid()) {
            Fail(QStringLiteral("the server's answer was not understood"));
            return;
        }
        // The body counts only when it provably ended. The network layer of Qt 6.4 finishes a chunked
        // body cut off by the server's close as if its last chunk had come, so the end of a chunked
        // body cannot be told here, and such a body is refused.
        if (m_reply->rawHeader("Transfer-Encoding").toLower().contains("chunked")) {
            Fail(QStringLiteral("the server sent the answer in chunks, whose end cannot be confirmed"));
            return;
        }
        const QString problem = BodyLengthProblem(ContentLengthOf(*m_reply), m_body.size(), m_maxBytes);
        if (!problem.isEmpty()) {
            Fail(problem);
            return;
        }
        Finish(Outcome{true, {}, m_body});
    }

    // Hands the outcome to a caller still waiting, then closes everything down on this thread:
    // aborting closes the connection, and deleting the manager waits here, not in the window.
    void Finish(Outcome outcome) {
        if (m_done) {
            return;
        }
        m_done = true;
        {
            const QMutexLocker lock(&m_exchange->mutex);
            if (m_exchange->waiter != nullptr) {
                QMetaObject::invokeMethod(m_exchange->waiter, [deliver = m_exchange->deliver,
                                                               outcome = std::move(outcome)] { deliver(outcome); });
            }
            m_exchange->requestAlive = false;
        }
        QObject::disconnect(m_reply, nullptr, m_context, nullptr);
        m_reply->abort();
        m_context->deleteLater(); // takes the manager, its reply and this request along
        QThread::currentThread()->quit();
    }

    qint64 m_maxBytes;
    std::shared_ptr<Exchange> m_exchange;
    QObject* m_context;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    QUrl m_address;
    QByteArray m_body;
    int m_redirects = 0;
    bool m_done = false;
};

// The object the request lives in; it owns the request, which owns nothing Qt does not.
class RequestContext final : public QObject {
public:
    std::unique_ptr<Request> request;
};

} // namespace

QString BodyLengthProblem(const std::optional<QByteArray>& contentLength, qint64 received, qint64 maxBytes) {
    const LengthHeader length = ReadContentLength(contentLength);
    switch (length.state) {
    case LengthState::Absent:
        break;
    case LengthState::Conflicting:
        return QStringLiteral("the server gave conflicting lengths for the answer");
    case LengthState::Invalid:
        return QStringLiteral("the server gave a length for the answer that is not a number");
    case LengthState::TooLarge:
        return TooLargeAnswerText(maxBytes);
    case LengthState::Valid:
        if (length.value != received) {
            return QStringLiteral("the answer arrived incomplete (%1 of %2 bytes)").arg(received).arg(length.value);
        }
        break;
    }
    return {};
}

DownloadResult HttpDownload(const QUrl& source, const QString& localFile, std::chrono::milliseconds timeLimit,
                            qint64 maxBytes) {
    if (!IsWebAddress(source)) {
        return Failure(QStringLiteral("the address %1 is not a web address").arg(source.toDisplayString()));
    }

    QObject waiter;
    QEventLoop loop;
    std::optional<Outcome> outcome;
    auto exchange = std::make_shared<Exchange>();
    exchange->waiter = &waiter;
    exchange->deliver = [&](Outcome delivered) {
        outcome = std::move(delivered);
        loop.quit();
    };

    // The thread ends itself when the request is done, and is deleted here afterwards.
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("Quillon download"));
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    auto* context = new RequestContext;
    context->moveToThread(thread);
    thread->start();
    QMetaObject::invokeMethod(context, [context, source, maxBytes, exchange] {
        context->request = std::make_unique<Request>(source, maxBytes, exchange, context);
    });

    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    timer.start(timeLimit);
    loop.exec();
    timer.stop();

    {
        // From here on the request thread posts nothing to us; a request still running is ended.
        const QMutexLocker lock(&exchange->mutex);
        exchange->waiter = nullptr;
        if (exchange->requestAlive) {
            QMetaObject::invokeMethod(context, [context] {
                if (context->request) {
                    context->request->Abandon();
                }
            });
        }
    }
    // An outcome posted in the same instant as the limit still counts: a finished answer is never
    // turned into a failure.
    QCoreApplication::sendPostedEvents(&waiter);
    if (!outcome) {
        if (timedOut) {
            return Failure(QStringLiteral("no complete answer within %1").arg(DurationText(timeLimit)));
        }
        // The application is quitting and ended every event loop, ours included.
        return DownloadResult{false, QStringLiteral("the download was cancelled"), true};
    }
    if (!outcome->ok) {
        return Failure(outcome->reason);
    }
    return WriteWhole(localFile, outcome->body);
}

} // namespace quillon
