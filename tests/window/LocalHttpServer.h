#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace quillon::testing {

// A tiny HTTP server on 127.0.0.1 for download tests. It runs in the test's own thread: its
// sockets are served by whatever event loop the code under test runs while it waits.
class LocalHttpServer {
public:
    LocalHttpServer() { m_server.listen(QHostAddress::LocalHost, 0); }

    bool IsListening() const { return m_server.isListening(); }
    quint16 Port() const { return m_server.serverPort(); }
    QString HostAndPort() const { return QStringLiteral("127.0.0.1:%1").arg(Port()); }
    QUrl Url(const QString& path) const { return QUrl(QStringLiteral("http://%1%2").arg(HostAndPort(), path)); }

    // A complete answer with a Content-Length header; the connection is closed after it.
    void Answer(int status, const QByteArray& reason, const QByteArray& body, const QByteArray& extraHeaders = {}) {
        Raw("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: text/plain\r\n" +
                "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraHeaders +
                "\r\n" + body,
            true);
    }
    // Exactly these bytes once the request has arrived; the connection stays open unless
    // `closeAfter`.
    void Raw(const QByteArray& bytes, bool closeAfter) {
        m_silent = false;
        m_answer = bytes;
        m_closeAfter = closeAfter;
    }
    // Accepts the connection and reads the request, but never answers.
    void Silent() { m_silent = true; }

    int RequestCount() const { return static_cast<int>(m_requestLines.size()); }
    const QList<QByteArray>& RequestLines() const { return m_requestLines; }

private:
    void Serve() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto* buffer = new QByteArray;
            QObject::connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0) {
                    return;
                }
                m_requestLines.append(buffer->left(buffer->indexOf("\r\n")));
                buffer->clear();
                if (m_silent) {
                    return;
                }
                socket->write(m_answer);
                if (m_closeAfter) {
                    socket->disconnectFromHost();
                }
            });
        }
    }

    QTcpServer m_server;
    QMetaObject::Connection m_connection = QObject::connect(&m_server, &QTcpServer::newConnection, [this] { Serve(); });
    QByteArray m_answer;
    bool m_closeAfter = true;
    bool m_silent = false;
    QList<QByteArray> m_requestLines;
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
