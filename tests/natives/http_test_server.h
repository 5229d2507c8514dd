// A small HTTP/1.1 server on 127.0.0.1 for the HTTP and proxy natives: a free port, a thread of
// its own, one thread per connection, every response closing its connection. It serves fixed
// paths (see http_test_server.cpp); as a proxy it answers every request itself, saying which
// target it was asked for. What it received is kept for the tests to read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace natives_test {

class HttpTestServer {
public:
    enum class Role { Site, Proxy };
    struct Request {
        std::string line;     // "GET /page HTTP/1.1"
        std::string headers;  // the header lines, each ended by CR LF
        std::string body;
    };

    explicit HttpTestServer(Role role = Role::Site);
    ~HttpTestServer();  // stops listening and waits for every connection
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int port() const { return port_; }
    std::wstring host() const { return L"127.0.0.1"; }
    // "http://127.0.0.1:<port><path>"
    std::wstring url(const std::wstring& path) const;
    std::vector<Request> requests() const;
    // The PAC script names this proxy ("PROXY 127.0.0.1:<port>").
    void setScriptProxyPort(int port) { scriptProxyPort_ = port; }

    // The large body: `size` bytes of a fixed pattern, the same on both sides.
    static constexpr std::size_t kLargeSize = 6 * 1024 * 1024;
    static unsigned char largeByte(std::size_t index) { return static_cast<unsigned char>((index * 7 + index / 251) & 0xFF); }
    static constexpr char kPage[] = "<html><body>hello from the test server</body></html>";
    static constexpr std::size_t kBreakAfter = 3000;  // bytes of /break sent before the reset

private:
    void acceptLoop();
    void serve(std::uintptr_t connection);
    void respond(std::uintptr_t connection, const Request& request);

    Role role_;
    std::uintptr_t listener_;
    int port_ = 0;
    int scriptProxyPort_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<Request> requests_;
};

}  // namespace natives_test
