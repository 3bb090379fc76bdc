#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <chrono>

namespace quillon::testing {

// A tiny HTTP server on 127.0.0.1 for download tests. It runs in the test's own thread: its
// sockets are served by whatever event loop the code under test runs while it waits.
//
// Besides fixed answers it can stream without end (a body, header lines), drip bytes slowly, stay
// silent, and answer per path (for redirects). Every stream stops by itself: when the client closes
// the connection, after kStreamCap bytes, or after kStreamTime.
class LocalHttpServer {
public:
    static constexpr qint64 kStreamCap = 512LL * 1024 * 1024;
    static constexpr std::chrono::seconds kStreamTime{60};

    LocalHttpServer() { m_server.listen(QHostAddress::LocalHost, 0); }
    ~LocalHttpServer() {
        for (const QPointer<QTcpSocket>& socket : m_sockets) {
            if (socket) {
                socket->abort();
                delete socket.data();
            }
        }
    }
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    bool IsListening() const { return m_server.isListening(); }
    quint16 Port() const { return m_server.serverPort(); }
    QString HostAndPort() const { return QStringLiteral("127.0.0.1:%1").arg(Port()); }
    QUrl Url(const QString& path) const { return QUrl(QStringLiteral("http://%1%2").arg(HostAndPort(), path)); }

    static QByteArray Response(int status, const QByteArray& reason, const QByteArray& body,
                               const QByteArray& extraHeaders = {}) {
        return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: text/plain\r\n" +
               "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraHeaders +
               "\r\n" + body;
    }

    // A complete answer with a Content-Length header; the connection is closed after it.
    void Answer(int status, const QByteArray& reason, const QByteArray& body, const QByteArray& extraHeaders = {}) {
        Raw(Response(status, reason, body, extraHeaders), true);
    }
    // Exactly these bytes once the request has arrived; the connection stays open unless
    // `closeAfter`.
    void Raw(const QByteArray& bytes, bool closeAfter) {
        m_mode = Mode::Fixed;
        m_answer = bytes;
        m_closeAfter = closeAfter;
    }
    // A request for `path` gets these bytes, and the connection is closed after them, whatever the
    // other settings say.
    void Route(const QByteArray& path, const QByteArray& bytes) { m_routes.insert(path, bytes); }
    // Accepts the connection and reads the request, but never answers.
    void Silent() { m_mode = Mode::Silent; }
    // `head`, then `piece` again and again as fast as the client takes it.
    void Stream(const QByteArray& head, const QByteArray& piece) {
        m_mode = Mode::Stream;
        m_answer = head;
        m_piece = piece;
    }
    // `head`, then `piece` once every `interval`.
    void Drip(const QByteArray& head, const QByteArray& piece, std::chrono::milliseconds interval) {
        m_mode = Mode::Drip;
        m_answer = head;
        m_piece = piece;
        m_interval = interval;
    }

    int RequestCount() const { return static_cast<int>(m_requestLines.size()); }
    const QList<QByteArray>& RequestLines() const { return m_requestLines; }
    // Bytes the system has taken from the server for sending, over all connections.
    qint64 BytesSent() const { return m_bytesSent; }
    // Whether the client has closed every connection it opened.
    bool ClientClosedAll() const {
        for (const QPointer<QTcpSocket>& socket : m_sockets) {
            if (socket && socket->state() != QAbstractSocket::UnconnectedState) {
                return false;
            }
        }
        return !m_sockets.isEmpty();
    }

private:
    enum class Mode { Fixed, Silent, Stream, Drip };

    void Serve() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            m_sockets.append(socket);
            auto* buffer = new QByteArray;
            QObject::connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket](qint64 bytes) {
                m_bytesSent += bytes;
                if (m_mode == Mode::Stream && socket->property("streaming").toBool()) {
                    Feed(socket);
                }
            });
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0) {
                    return;
                }
                const QByteArray line = buffer->left(buffer->indexOf("\r\n"));
                m_requestLines.append(line);
                buffer->clear();
                const QList<QByteArray> words = line.split(' ');
                const QByteArray path = words.size() > 1 ? words[1] : QByteArray();
                if (m_routes.contains(path)) {
                    // One answer per connection: it is closed after it.
                    if (!socket->property("answered").toBool()) {
                        socket->setProperty("answered", true);
                        socket->write(m_routes.value(path));
                        socket->disconnectFromHost();
                    }
                    return;
                }
                Answer(socket);
            });
        }
    }

    void Answer(QTcpSocket* socket) {
        switch (m_mode) {
        case Mode::Silent:
            return;
        case Mode::Fixed:
            socket->write(m_answer);
            if (m_closeAfter) {
                socket->disconnectFromHost();
            }
            return;
        case Mode::Stream:
            socket->write(m_answer);
            socket->setProperty("streaming", true);
            Feed(socket);
            StopLater(socket);
            return;
        case Mode::Drip: {
            socket->write(m_answer);
            auto* timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [this, socket] {
                if (socket->state() == QAbstractSocket::ConnectedState && m_bytesSent < kStreamCap) {
                    socket->write(m_piece);
                }
            });
            timer->start(m_interval);
            StopLater(socket);
            return;
        }
        }
    }

    // Keeps a few pieces queued, no more, so that what is counted as sent is what the client could read.
    void Feed(QTcpSocket* socket) {
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 256 * 1024 &&
               m_bytesSent < kStreamCap) {
            socket->write(m_piece);
        }
    }

    void StopLater(QTcpSocket* socket) {
        QTimer::singleShot(kStreamTime, socket, [socket] { socket->abort(); });
    }

    QTcpServer m_server;
    QMetaObject::Connection m_connection = QObject::connect(&m_server, &QTcpServer::newConnection, [this] { Serve(); });
    Mode m_mode = Mode::Fixed;
    QByteArray m_answer;
    QByteArray m_piece;
    std::chrono::milliseconds m_interval{50};
    bool m_closeAfter = true;
    QHash<QByteArray, QByteArray> m_routes;
    QList<QByteArray> m_requestLines;
    QList<QPointer<QTcpSocket>> m_sockets;
    qint64 m_bytesSent = 0;
};

// A port on 127.0.0.1 where nothing listens: taken from the system, then given back.
inline quint16 ClosedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

} // namespace quillon::testing
