// Paths of the site:
//   /page        a short HTML page
//   /large       kLargeSize bytes of the pattern
//   /redirect    302 to /page
//   /echo        the request body back, with the request's X-Test header as X-Seen
//   /break       Content-Length of kLargeSize, kBreakAfter bytes, then a reset connection
//   /slow        the page after three seconds
//   /auth        401 asking for Basic credentials
//   /proxy.pac   a proxy script naming the proxy set with setScriptProxyPort
//   anything else 404
#include "http_test_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstdlib>
#include <string_view>

namespace natives_test {

namespace {

void sendAll(SOCKET socket, std::string_view data) {
    while (!data.empty()) {
        const int sent = send(socket, data.data(), static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20)), 0);
        if (sent <= 0) return;
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::string head(const std::string& status, std::size_t length, const std::string& extra = {}) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(length) +
           "\r\nContent-Type: text/html\r\nConnection: close\r\n" + extra + "\r\n";
}

std::string headerValue(const std::string& headers, const std::string& name) {
    std::size_t at = 0;
    while (at < headers.size()) {
        const std::size_t end = headers.find("\r\n", at);
        const std::string line = headers.substr(at, end - at);
        if (line.size() > name.size() && _strnicmp(line.c_str(), name.c_str(), name.size()) == 0 &&
            line[name.size()] == ':')
            return line.substr(line.find_first_not_of(' ', name.size() + 1));
        if (end == std::string::npos) break;
        at = end + 2;
    }
    return {};
}

}  // namespace

HttpTestServer::HttpTestServer(Role role) : role_(role) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 16);
    int length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listener_ = listener;
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    stopping_ = true;
    closesocket(static_cast<SOCKET>(listener_));
    acceptThread_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (std::thread& connection : connections) connection.join();
    WSACleanup();
}

std::wstring HttpTestServer::url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + path;
}

std::vector<HttpTestServer::Request> HttpTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void HttpTestServer::acceptLoop() {
    for (;;) {
        const SOCKET connection = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
        if (connection == INVALID_SOCKET) {
            if (stopping_) return;
            continue;
        }
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, connection] { serve(connection); });
    }
}

void HttpTestServer::serve(std::uintptr_t connection) {
    const SOCKET socket = static_cast<SOCKET>(connection);
    // A client that never finishes its request does not hold the server's end for ever.
    const DWORD timeout = 10000;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    std::string received;
    char buffer[16384];
    std::size_t headerEnd = std::string::npos;
    while (headerEnd == std::string::npos) {
        const int count = recv(socket, buffer, sizeof buffer, 0);
        if (count <= 0) {
            closesocket(socket);
            return;
        }
        received.append(buffer, static_cast<std::size_t>(count));
        headerEnd = received.find("\r\n\r\n");
    }
    Request request;
    const std::size_t lineEnd = received.find("\r\n");
    request.line = received.substr(0, lineEnd);
    request.headers = received.substr(lineEnd + 2, headerEnd + 2 - (lineEnd + 2));
    const std::size_t bodyLength = std::strtoul(headerValue(request.headers, "Content-Length").c_str(), nullptr, 10);
    request.body = received.substr(headerEnd + 4);
    while (request.body.size() < bodyLength) {
        const int count = recv(socket, buffer, sizeof buffer, 0);
        if (count <= 0) break;
        request.body.append(buffer, static_cast<std::size_t>(count));
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    respond(connection, request);
}

void HttpTestServer::respond(std::uintptr_t connection, const Request& request) {
    const SOCKET socket = static_cast<SOCKET>(connection);
    const std::size_t pathStart = request.line.find(' ') + 1;
    const std::string target = request.line.substr(pathStart, request.line.find(' ', pathStart) - pathStart);
    std::string_view path = target;
    if (role_ == Role::Proxy) {
        const std::string body = "proxied " + target;
        sendAll(socket, head("200 OK", body.size()) + body);
    } else if (path == "/page") {
        sendAll(socket, head("200 OK", sizeof kPage - 1) + kPage);
    } else if (path == "/large") {
        static const std::string body = [] {
            std::string bytes(kLargeSize, '\0');
            for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(largeByte(i));
            return bytes;
        }();
        sendAll(socket, head("200 OK", body.size()));
        sendAll(socket, body);
    } else if (path == "/redirect") {
        sendAll(socket, head("302 Found", 0, "Location: /page\r\n"));
    } else if (path == "/echo") {
        sendAll(socket, head("200 OK", request.body.size(), "X-Seen: " + headerValue(request.headers, "X-Test") + "\r\n") +
                            request.body);
    } else if (path == "/break") {
        std::string part(kBreakAfter, '\0');
        for (std::size_t i = 0; i < part.size(); ++i) part[i] = static_cast<char>(largeByte(i));
        sendAll(socket, head("200 OK", kLargeSize) + part);
        Sleep(200);
        // A reset rather than an orderly close: the client's next read fails.
        const linger abort{1, 0};
        setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    } else if (path == "/slow") {
        Sleep(3000);
        sendAll(socket, head("200 OK", sizeof kPage - 1) + kPage);
    } else if (path == "/auth") {
        const std::string body = "credentials needed";
        sendAll(socket, head("401 Unauthorized", body.size(), "WWW-Authenticate: Basic realm=\"corvane test\"\r\n") + body);
    } else if (path == "/proxy.pac") {
        const std::string script = "function FindProxyForURL(url, host) { return \"PROXY 127.0.0.1:" +
                                   std::to_string(scriptProxyPort_) + "\"; }\n";
        sendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(script.size()) +
                            "\r\nContent-Type: application/x-ns-proxy-autoconfig\r\nConnection: close\r\n\r\n" + script);
    } else {
        const std::string body = "not here";
        sendAll(socket, head("404 Not Found", body.size()) + body);
    }
    if (path != "/break") shutdown(socket, SD_SEND);
    closesocket(socket);
}

}  // namespace natives_test
