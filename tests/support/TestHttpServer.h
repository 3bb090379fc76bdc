#pragma once

// A small HTTP server on 127.0.0.1 for fetch tests, on threads of its own, over POSIX sockets or
// Winsock. Besides fixed answers it can stream without end, drip bytes slowly, stay silent and
// answer per path (for redirects). Every stream stops by itself: when the client closes the
// connection, after kStreamCap bytes or after kStreamTime.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::testing {

#ifdef _WIN32
using Socket = SOCKET;
inline constexpr Socket kNoSocket = INVALID_SOCKET;
inline void CloseSocket(Socket s) {
    ::closesocket(s);
}
inline bool WouldBlock() {
    return ::WSAGetLastError() == WSAEWOULDBLOCK;
}
inline void SetNonBlocking(Socket s) {
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}
inline constexpr int kSendFlags = 0;
struct SocketLibrary {
    SocketLibrary() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~SocketLibrary() { ::WSACleanup(); }
};
#else
using Socket = int;
inline constexpr Socket kNoSocket = -1;
inline void CloseSocket(Socket s) {
    ::close(s);
}
inline bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
inline void SetNonBlocking(Socket s) {
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
}
inline constexpr int kSendFlags = MSG_NOSIGNAL;
struct SocketLibrary {};
#endif

// A socket bound to 127.0.0.1 on a port the system picks; `port` tells which.
inline Socket BindLocal(std::uint16_t& port) {
    const Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return s;
}

// A port on 127.0.0.1 where nothing listens: taken from the system, then given back.
inline std::uint16_t ClosedPort() {
    [[maybe_unused]] const SocketLibrary library;
    std::uint16_t port = 0;
    CloseSocket(BindLocal(port));
    return port;
}

class TestHttpServer {
public:
    static constexpr std::uint64_t kStreamCap = 512ULL * 1024 * 1024;
    static constexpr std::chrono::seconds kStreamTime{60};
    static constexpr int kSendBuffer = 64 * 1024;

    TestHttpServer() {
        m_listener = BindLocal(m_port);
        ::listen(m_listener, 16);
        SetNonBlocking(m_listener);
        m_acceptor = std::thread([this] { Accept(); });
    }
    ~TestHttpServer() {
        m_stop = true;
        m_acceptor.join();
        for (std::thread& connection : m_connections) {
            connection.join();
        }
        CloseSocket(m_listener);
    }
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::string Url(const std::string& path) const { return "http://" + HostAndPort() + path; }

    static std::string Response(int status, const std::string& reason, const std::string& body,
                                const std::string& extraHeaders = {}) {
        return "HTTP/1.1 " + std::to_string(status) + ' ' + reason +
               "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
    }
    // A complete answer with a Content-Length header; the connection is closed after it.
    void Answer(int status, const std::string& reason, const std::string& body, const std::string& extraHeaders = {}) {
        Raw(Response(status, reason, body, extraHeaders), true);
    }
    // Exactly these bytes once the request has arrived; the connection stays open unless `closeAfter`.
    void Raw(const std::string& bytes, bool closeAfter) { Set(Plan{Mode::Fixed, bytes, {}, closeAfter}); }
    // A request for `path` gets these bytes, and the connection is closed after them.
    void Route(const std::string& path, const std::string& bytes) {
        const std::lock_guard lock(m_mutex);
        m_routes[path] = bytes;
    }
    // Reads the request but never answers.
    void Silent() { Set(Plan{Mode::Silent}); }
    // `head`, then `piece` again and again as fast as the client takes it.
    void Stream(const std::string& head, const std::string& piece) { Set(Plan{Mode::Stream, head, piece}); }
    // `head`, then `piece` once every `interval`.
    void Drip(const std::string& head, const std::string& piece, std::chrono::milliseconds interval) {
        Set(Plan{Mode::Drip, head, piece, false, interval});
    }

    std::vector<std::string> RequestLines() const {
        const std::lock_guard lock(m_mutex);
        return m_requestLines;
    }
    // The whole head of every request, request line and headers.
    std::vector<std::string> Requests() const {
        const std::lock_guard lock(m_mutex);
        return m_requests;
    }
    // Bytes the system took from the server for sending, over all connections.
    std::uint64_t BytesSent() const { return m_bytesSent; }
    // Waits until every connection accepted so far has been closed, by the client or after the
    // answer; false when one is still open after `limit`.
    bool WaitUntilAllClosed(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [this] { return m_accepted > 0 && m_open == 0; });
    }

private:
    enum class Mode { Fixed, Silent, Stream, Drip };
    struct Plan {
        Mode mode = Mode::Fixed;
        std::string head{};
        std::string piece{};
        bool closeAfter = true;
        std::chrono::milliseconds interval{50};
    };

    void Set(Plan plan) {
        const std::lock_guard lock(m_mutex);
        m_plan = std::move(plan);
    }

    // Waits up to `limit` for the socket to be readable or, with `write`, writable.
    static bool Wait(Socket s, bool write, std::chrono::milliseconds limit) {
        fd_set reads;
        fd_set writes;
        FD_ZERO(&reads);
        FD_ZERO(&writes);
        FD_SET(s, &reads);
        if (write) {
            FD_SET(s, &writes);
        }
        timeval wait{0, static_cast<long>(limit.count() * 1000)};
        return ::select(static_cast<int>(s + 1), &reads, &writes, nullptr, &wait) > 0;
    }

    // True when the client has closed the connection; reads and drops anything else it sent.
    static bool ClientClosed(Socket s) {
        char buffer[4096];
        const auto got = ::recv(s, buffer, sizeof buffer, 0);
        return got == 0 || (got < 0 && !WouldBlock());
    }

    // Waits until the client closes the connection (true) or `limit` passes (false).
    bool WaitForClose(Socket s, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!m_stop && std::chrono::steady_clock::now() < end) {
            if (Wait(s, false, std::chrono::milliseconds(20)) && ClientClosed(s)) {
                return true;
            }
        }
        return m_stop;
    }

    // False when the client closed the connection first.
    bool SendAll(Socket s, const std::string& bytes) {
        std::size_t offset = 0;
        while (offset < bytes.size() && !m_stop) {
            const auto sent = ::send(s, bytes.data() + offset, static_cast<int>(bytes.size() - offset), kSendFlags);
            if (sent > 0) {
                offset += static_cast<std::size_t>(sent);
                m_bytesSent += static_cast<std::uint64_t>(sent);
            } else if (!WouldBlock()) {
                return false;
            } else if (Wait(s, true, std::chrono::milliseconds(20)) && !Writable(s) && ClientClosed(s)) {
                return false;
            }
        }
        return !m_stop;
    }

    static bool Writable(Socket s) {
        fd_set writes;
        FD_ZERO(&writes);
        FD_SET(s, &writes);
        timeval now{0, 0};
        return ::select(static_cast<int>(s + 1), nullptr, &writes, nullptr, &now) > 0;
    }

    void Accept() {
        while (!m_stop) {
            if (!Wait(m_listener, false, std::chrono::milliseconds(20))) {
                continue;
            }
            const Socket s = ::accept(m_listener, nullptr, nullptr);
            if (s == kNoSocket) {
                continue;
            }
            {
                const std::lock_guard lock(m_mutex);
                ++m_accepted;
                ++m_open;
            }
            m_connections.emplace_back([this, s] {
                Serve(s);
                CloseSocket(s);
                const std::lock_guard lock(m_mutex);
                --m_open;
                m_changed.notify_all();
            });
        }
    }

    void Serve(Socket s) {
        SetNonBlocking(s);
        ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kSendBuffer), sizeof kSendBuffer);
        std::string request;
        while (request.find("\r\n\r\n") == std::string::npos) {
            if (m_stop) {
                return;
            }
            if (!Wait(s, false, std::chrono::milliseconds(20))) {
                continue;
            }
            char buffer[4096];
            const auto got = ::recv(s, buffer, sizeof buffer, 0);
            if (got == 0 || (got < 0 && !WouldBlock())) {
                return;
            }
            request.append(buffer, static_cast<std::size_t>(got > 0 ? got : 0));
        }
        const std::string line = request.substr(0, request.find("\r\n"));
        const auto pathStart = line.find(' ') + 1;
        const std::string path = line.substr(pathStart, line.find(' ', pathStart) - pathStart);
        Plan plan;
        {
            const std::lock_guard lock(m_mutex);
            m_requestLines.push_back(line);
            m_requests.push_back(request.substr(0, request.find("\r\n\r\n") + 4));
            const auto route = m_routes.find(path);
            plan = route != m_routes.end() ? Plan{Mode::Fixed, route->second} : m_plan;
        }
        const auto end = std::chrono::steady_clock::now() + kStreamTime;
        switch (plan.mode) {
        case Mode::Fixed:
            if (SendAll(s, plan.head) && !plan.closeAfter) {
                WaitForClose(s, kStreamTime);
            }
            return;
        case Mode::Silent:
            WaitForClose(s, kStreamTime);
            return;
        case Mode::Stream:
            if (SendAll(s, plan.head)) {
                while (m_bytesSent < kStreamCap && std::chrono::steady_clock::now() < end && SendAll(s, plan.piece)) {
                }
            }
            return;
        case Mode::Drip:
            if (SendAll(s, plan.head)) {
                while (std::chrono::steady_clock::now() < end && !WaitForClose(s, plan.interval) &&
                       SendAll(s, plan.piece)) {
                }
            }
            return;
        }
    }

    SocketLibrary m_library;
    Socket m_listener = kNoSocket;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_bytesSent{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Plan m_plan;
    std::map<std::string, std::string> m_routes;
    std::vector<std::string> m_requestLines;
    std::vector<std::string> m_requests;
    int m_accepted = 0;
    int m_open = 0;
    std::thread m_acceptor;
    std::vector<std::thread> m_connections; // only the acceptor thread adds, joined after it
};

} // namespace quillon::testing
