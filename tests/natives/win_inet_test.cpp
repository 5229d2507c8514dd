// wininet/WinInet against the tests' own HTTP server on 127.0.0.1 (and a second listener playing
// the proxy): what Java reads back (status, headers, bytes, the stored error pair) and what the
// server received.
#include <windows.h>

#include <wininet.h>

#include <string>
#include <utility>
#include <vector>

#include "dialog_peer_process.h"
#include "harness/natives_test.h"
#include "http_test_server.h"
#include "natives/win_inet_session.h"

namespace natives_test {
namespace {

constexpr jint kDirect = INTERNET_OPEN_TYPE_DIRECT;
constexpr jint kFresh = static_cast<jint>(INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE);
constexpr jint kPiece = 64 * 1024;
using ErrorPair = std::pair<jint, jint>;

std::string textOfBytes(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

class WinInetNatives : public NativesTest {
protected:
    void SetUp() override {
        NativesTest::SetUp();
        ASSERT_TRUE(callBoolean("wininet/WinInet.init0", {}));
    }
    void TearDown() override {
        for (jlong handle : handles_) callVoid("wininet/WinInet.destroy0", {handle});
        NativesTest::TearDown();
    }

    jlong connect(const HttpTestServer& server, jint access = kDirect, const wchar_t* proxy = nullptr,
                  const wchar_t* bypass = nullptr) {
        const jlong handle = callLong("wininet/WinInet.connect0",
                                      {javaString(L"corvane test"), access, proxy ? javaString(proxy) : nullptr,
                                       bypass ? javaString(bypass) : nullptr, 0, javaString(server.host()),
                                       server.port(), 0});
        if (handle != 0) handles_.push_back(handle);
        return handle;
    }
    // Opens and sends one request; the status.
    jint request(jlong handle, const wchar_t* verb, const wchar_t* path, jint flags = kFresh,
                 const wchar_t* headers = nullptr, jbyteArray body = nullptr) {
        callVoid("wininet/WinInet.openRequest0", {handle, javaString(verb), javaString(path), flags, 0});
        return callInt("wininet/WinInet.sendRequest0", {handle, headers ? javaString(headers) : nullptr, body});
    }
    // read0 in pieces until it answers -1 or 0; `last` is that answer.
    std::string readAll(jlong handle, jint& last, jint piece = kPiece) {
        const jbyteArray buffer = env()->NewByteArray(piece + 16);
        std::string body;
        for (;;) {
            last = callInt("wininet/WinInet.read0", {handle, buffer, 16, piece});
            if (last <= 0) break;
            std::vector<jbyte> bytes(static_cast<size_t>(last));
            env()->GetByteArrayRegion(buffer, 16, last, bytes.data());
            body.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        env()->DeleteLocalRef(buffer);
        return body;
    }
    std::string headersOf(jlong handle) {
        return textOfBytes(bytesOf(callObject("wininet/WinInet.getHeaders0", {handle})).value_or(std::vector<unsigned char>{}));
    }
    ErrorPair errorOf(jlong handle) {
        return {callInt("wininet/WinInet.getErrorLocation0", {handle}), callInt("wininet/WinInet.getErrorCode0", {handle})};
    }

    HttpTestServer server_;
    std::vector<jlong> handles_;
};

TEST_F(WinInetNatives, TheNullHandleReturnsAtOnce) {
    const jbyteArray buffer = javaBytes(std::vector<unsigned char>(8));
    EXPECT_EQ(callInt("wininet/WinInet.getErrorCode0", {jlong{0}}), 0);
    EXPECT_EQ(callInt("wininet/WinInet.getErrorLocation0", {jlong{0}}), 0);
    callVoid("wininet/WinInet.clearError0", {jlong{0}});
    callVoid("wininet/WinInet.openRequest0", {jlong{0}, javaString(L"GET"), javaString(L"/"), 0, 0});
    EXPECT_EQ(callInt("wininet/WinInet.sendRequest0", {jlong{0}, nullptr, buffer}), 0);
    EXPECT_EQ(callInt("wininet/WinInet.read0", {jlong{0}, buffer, 0, 8}), -1);
    EXPECT_EQ(callObject("wininet/WinInet.getHeaders0", {jlong{0}}), nullptr);
    EXPECT_EQ(callInt("wininet/WinInet.internetErrorDlg0", {jlong{0}, ERROR_INTERNET_INCORRECT_PASSWORD, 0, jlong{0}}), 0);
    callVoid("wininet/WinInet.setOption0", {jlong{0}, INTERNET_OPTION_RECEIVE_TIMEOUT, buffer});
    callVoid("wininet/WinInet.setDwordOption0", {jlong{0}, INTERNET_OPTION_RECEIVE_TIMEOUT, 5});
    callVoid("wininet/WinInet.destroy0", {jlong{0}});
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(WinInetNatives, APageWithItsHeadersReadToTheEnd) {
    const jlong handle = connect(server_);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(request(handle, L"GET", L"/page"), 200);
    const std::string headers = headersOf(handle);
    EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << headers;
    EXPECT_EQ(headers.substr(headers.size() - 5), std::string("\r\n\r\n\0", 5)) << "the terminating zero belongs to it";
    EXPECT_NE(headers.find("Content-Length: 52\r\n"), std::string::npos) << headers;
    jint last = 0;
    EXPECT_EQ(readAll(handle, last, 10), HttpTestServer::kPage);
    EXPECT_EQ(last, -1);
    EXPECT_EQ(errorOf(handle), ErrorPair(0, 0));

    const auto seen = server_.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].line, "GET /page HTTP/1.1");
    EXPECT_NE(seen[0].headers.find("Accept: */*\r\n"), std::string::npos) << seen[0].headers;
    EXPECT_NE(seen[0].headers.find("User-Agent: corvane test\r\n"), std::string::npos) << seen[0].headers;
}

TEST_F(WinInetNatives, StatusCodesOfMissingAndRedirectedPages) {
    const jlong missing = connect(server_);
    EXPECT_EQ(request(missing, L"GET", L"/nothing"), 404);
    jint last = 0;
    EXPECT_EQ(readAll(missing, last), "not here");

    const jlong followed = connect(server_);
    EXPECT_EQ(request(followed, L"GET", L"/redirect"), 200);
    EXPECT_EQ(readAll(followed, last), HttpTestServer::kPage);

    const jlong kept = connect(server_);
    EXPECT_EQ(request(kept, L"GET", L"/redirect", kFresh | static_cast<jint>(INTERNET_FLAG_NO_AUTO_REDIRECT)), 302);
    EXPECT_NE(headersOf(kept).find("Location: /page\r\n"), std::string::npos);
}

TEST_F(WinInetNatives, APostSendsItsHeadersAndBodyAndNoBodyWhenNull) {
    const std::vector<unsigned char> body = {'a', 0, 'b', 0xFF, '\r', '\n', 'z'};
    const jlong posted = connect(server_);
    EXPECT_EQ(request(posted, L"POST", L"/echo", kFresh, L"X-Test: seen\r\nContent-Type: application/octet-stream",
                      javaBytes(body)),
              200);
    EXPECT_NE(headersOf(posted).find("X-Seen: seen\r\n"), std::string::npos) << headersOf(posted);
    jint last = 0;
    EXPECT_EQ(readAll(posted, last), std::string(body.begin(), body.end()));

    const jlong empty = connect(server_);
    EXPECT_EQ(request(empty, L"POST", L"/echo"), 200);
    EXPECT_EQ(readAll(empty, last), "");
    EXPECT_EQ(last, -1);

    const auto seen = server_.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].body, std::string(body.begin(), body.end()));
    EXPECT_EQ(seen[1].body, "");
}

TEST_F(WinInetNatives, TheLargeBodyArrivesByteExact) {
    const jlong handle = connect(server_);
    ASSERT_EQ(request(handle, L"GET", L"/large"), 200);
    jint last = 0;
    const std::string body = readAll(handle, last);
    EXPECT_EQ(last, -1);
    ASSERT_EQ(body.size(), HttpTestServer::kLargeSize);
    size_t wrong = 0;
    for (size_t i = 0; i < body.size(); ++i) wrong += static_cast<unsigned char>(body[i]) != HttpTestServer::largeByte(i);
    EXPECT_EQ(wrong, 0u);
}

TEST_F(WinInetNatives, ABrokenConnectionIsAFailedReadUntilCleared) {
    const jlong handle = connect(server_);
    ASSERT_EQ(request(handle, L"GET", L"/break"), 200);
    jint last = 0;
    const std::string body = readAll(handle, last, 1000);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(body.size(), HttpTestServer::kBreakAfter);
    const auto [location, code] = errorOf(handle);
    EXPECT_EQ(location, 5);
    EXPECT_NE(code, 0);
    callVoid("wininet/WinInet.clearError0", {handle});
    EXPECT_EQ(errorOf(handle), ErrorPair(0, 0));
}

TEST_F(WinInetNatives, AReadBeyondTheArrayIsRefusedWithoutLosingBytes) {
    const jlong handle = connect(server_);
    ASSERT_EQ(request(handle, L"GET", L"/page"), 200);
    const jbyteArray small = javaBytes(std::vector<unsigned char>(10));
    EXPECT_EQ(callInt("wininet/WinInet.read0", {handle, small, 5, 10}), 0);
    EXPECT_EQ(callInt("wininet/WinInet.read0", {handle, small, -1, 2}), 0);
    EXPECT_EQ(callInt("wininet/WinInet.read0", {handle, nullptr, 0, 2}), 0);
    EXPECT_EQ(errorOf(handle), ErrorPair(5, static_cast<jint>(ERROR_INVALID_PARAMETER)));
    callVoid("wininet/WinInet.clearError0", {handle});
    jint last = 0;
    EXPECT_EQ(readAll(handle, last), HttpTestServer::kPage);
}

TEST_F(WinInetNatives, ARequestThroughTheProxyListener) {
    HttpTestServer proxy(HttpTestServer::Role::Proxy);
    const std::wstring proxyName = L"127.0.0.1:" + std::to_wstring(proxy.port());
    const jlong handle = connect(server_, INTERNET_OPEN_TYPE_PROXY, proxyName.c_str(), L"<-loopback>");
    ASSERT_EQ(request(handle, L"GET", L"/page"), 200);
    jint last = 0;
    const std::string target = "http://127.0.0.1:" + std::to_string(server_.port()) + "/page";
    EXPECT_EQ(readAll(handle, last), "proxied " + target);
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0].line, "GET " + target + " HTTP/1.1");
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(WinInetNatives, AnUnreachableProxyStillGivesAHandleWithTheErrorStored) {
    const jlong handle = connect(server_, INTERNET_OPEN_TYPE_PROXY, L"127.0.0.1:1", L"<-loopback>");
    ASSERT_NE(handle, 0);
    // The library opens the session and the connection without reaching the proxy; the
    // failure shows when the request goes out.
    EXPECT_EQ(request(handle, L"GET", L"/page"), 0);
    EXPECT_EQ(errorOf(handle), ErrorPair(4, static_cast<jint>(ERROR_INTERNET_CANNOT_CONNECT)));
    const std::wstring message = textOf(callObject("wininet/WinInet.getErrorMessage0", {12029})).value_or(L"");
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(textOf(callObject("wininet/WinInet.getErrorMessage0", {0x2FFFFFF0})), L"");
    EXPECT_FALSE(textOf(callObject("wininet/WinInet.getErrorMessage0", {ERROR_FILE_NOT_FOUND})).value_or(L"").empty());

    // Steps after a stored error do not go on: nothing is sent.
    callVoid("wininet/WinInet.openRequest0", {handle, javaString(L"GET"), javaString(L"/page"), kFresh, 0});
    EXPECT_EQ(callInt("wininet/WinInet.sendRequest0", {handle, nullptr, nullptr}), 0);
    EXPECT_EQ(errorOf(handle).first, 4);
}

TEST_F(WinInetNatives, SecurityFlagsAreAddedToTheRequests) {
    const auto securityFlags = [](jlong handle) {
        DWORD flags = 0, size = sizeof flags;
        const auto* session = static_cast<const natives::WinInetSession*>(jni::fromJavaHandle(handle));
        InternetQueryOptionW(session->request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
        return flags;
    };
    const jlong plain = connect(server_);
    callVoid("wininet/WinInet.openRequest0", {plain, javaString(L"GET"), javaString(L"/page"), kFresh, 0});
    const jlong relaxed = connect(server_);
    callVoid("wininet/WinInet.openRequest0", {relaxed, javaString(L"GET"), javaString(L"/page"), kFresh, 0x3300});
    EXPECT_NE(securityFlags(plain) & 0x3300, 0x3300u);
    EXPECT_EQ(securityFlags(relaxed) & 0x3300, 0x3300u);
    EXPECT_EQ(callInt("wininet/WinInet.sendRequest0", {relaxed, nullptr, nullptr}), 200);
}

// The send given up for the receive time-out: Windows says it timed out, Wine that the
// connection was aborted.
bool timedOut(ErrorPair error) {
    return error.first == 4 && (error.second == ERROR_INTERNET_TIMEOUT || error.second == ERROR_INTERNET_CONNECTION_ABORTED);
}

TEST_F(WinInetNatives, OptionsReachTheRequest) {
    // A receive time-out shorter than the slow page's delay (without it the page comes), set
    // either way.
    const jlong dword = connect(server_);
    callVoid("wininet/WinInet.openRequest0", {dword, javaString(L"GET"), javaString(L"/slow"), kFresh, 0});
    callVoid("wininet/WinInet.setDwordOption0", {dword, INTERNET_OPTION_RECEIVE_TIMEOUT, 500});
    EXPECT_EQ(errorOf(dword), ErrorPair(0, 0));
    EXPECT_EQ(callInt("wininet/WinInet.sendRequest0", {dword, nullptr, nullptr}), 0);
    EXPECT_TRUE(timedOut(errorOf(dword))) << errorOf(dword).second;

    const jlong bytes = connect(server_);
    callVoid("wininet/WinInet.openRequest0", {bytes, javaString(L"GET"), javaString(L"/slow"), kFresh, 0});
    callVoid("wininet/WinInet.setOption0",
             {bytes, INTERNET_OPTION_RECEIVE_TIMEOUT, javaBytes(std::vector<unsigned char>{0xF4, 0x01, 0, 0})});
    EXPECT_EQ(callInt("wininet/WinInet.sendRequest0", {bytes, nullptr, nullptr}), 0);
    EXPECT_TRUE(timedOut(errorOf(bytes))) << errorOf(bytes).second;

    const jlong refused = connect(server_);
    callVoid("wininet/WinInet.openRequest0", {refused, javaString(L"GET"), javaString(L"/page"), kFresh, 0});
    callVoid("wininet/WinInet.setDwordOption0", {refused, 0x7FFF, 1});
    EXPECT_EQ(errorOf(refused), ErrorPair(11, static_cast<jint>(ERROR_INTERNET_INVALID_OPTION)));
}

TEST_F(WinInetNatives, HeadersOfASessionWithoutARequest) {
    const jlong none = connect(server_);
    EXPECT_EQ(callObject("wininet/WinInet.getHeaders0", {none}), nullptr);
    const auto [location, code] = errorOf(none);
    EXPECT_EQ(location, 9);
    EXPECT_NE(code, 0);
}

TEST_F(WinInetNatives, TheErrorDialogAsksForCredentialsThatTheRequestThenCarries) {
    const jlong handle = connect(server_);
    ASSERT_EQ(request(handle, L"GET", L"/auth"), 401);
    DialogPeer peer = dialogPeer({L"dump", L"type=1027=user", L"type=1028=secret", L"click=OK"});
    const jint result = callInt("wininet/WinInet.internetErrorDlg0",
                                {handle, ERROR_INTERNET_INCORRECT_PASSWORD,
                                 static_cast<jint>(FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                                                   FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS),
                                 jlong{0}});
    const auto seen = peer.finish();
    EXPECT_EQ(result, static_cast<jint>(ERROR_INTERNET_FORCE_RETRY)) << testing::PrintToString(seen);
    EXPECT_EQ(peer.exitCode(), 0u) << testing::PrintToString(seen);
    EXPECT_FALSE(linesStartingWith(seen, L"window|").empty()) << testing::PrintToString(seen);
    EXPECT_FALSE(linesStartingWith(seen, L"control|Static|1026|corvane test|").empty()) << "the realm is shown";

    // Sent again, the request carries what the user typed.
    EXPECT_EQ(callInt("wininet/WinInet.sendRequest0", {handle, nullptr, nullptr}), 401);
    const auto requests = server_.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].headers.find("Authorization:"), std::string::npos);
    EXPECT_NE(requests.back().headers.find("Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"), std::string::npos)
        << requests.back().headers;
}

}  // namespace
}  // namespace natives_test
