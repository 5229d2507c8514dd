// The large body of the tests' HTTP server on 127.0.0.1, downloaded COUNT times per round in
// 64 KB pieces: once through connect0/openRequest0/sendRequest0/read0 called through JNI on the
// stand-in virtual machine (as the Java side calls them), once with plain WinInet calls of the
// same pieces, taking turns at going first. Prints the seconds of each per round and the medians' ratio.
// The stand-in machine's own share of read0's time is measured as well: the same JNI calls a
// download makes (the static call, the array's length, the exception check and the copy into the
// array) without WinInet. A real virtual machine does each of them in a few instructions and a
// copy; the stand-in takes a lock, checks the caller and names the function for each.
//   wininet_read_bench [COUNT] [ROUNDS]
#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/java_machine.h"
#include "harness/native_call.h"
#include "http_test_server.h"

namespace {

using natives_test::callInt;
using natives_test::callLong;
using natives_test::callVoid;
using natives_test::HttpTestServer;

constexpr jint kPiece = 65536;
constexpr DWORD kFresh = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

jstring javaText(JNIEnv* env, const std::wstring& text) {
    return env->NewString(reinterpret_cast<const jchar*>(text.c_str()), static_cast<jsize>(text.size()));
}

// One download through the natives; the bytes received.
std::size_t throughNatives(const HttpTestServer& server) {
    JNIEnv* env = natives_test::env();
    env->PushLocalFrame(16);
    const jlong handle = callLong("wininet/WinInet.connect0",
                                  {javaText(env, L"bench"), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0,
                                   javaText(env, server.host()), server.port(), 0});
    callVoid("wininet/WinInet.openRequest0",
             {handle, javaText(env, L"GET"), javaText(env, L"/large"), static_cast<jint>(kFresh), 0});
    std::size_t total = 0;
    if (callInt("wininet/WinInet.sendRequest0", {handle, nullptr, nullptr}) == 200) {
        // The reads as a Java loop makes them: the class and method found once, then only calls
        // (the harness's callInt looks both up on every call, which would be measured too).
        static const jclass winInet = static_cast<jclass>(
            env->NewGlobalRef(env->FindClass("com/corvane/runtime/installer/platform/win32/wininet/WinInet")));
        static const jmethodID read0 = env->GetStaticMethodID(winInet, "read0", "(J[BII)I");
        const jbyteArray buffer = env->NewByteArray(kPiece);
        for (jint read; (read = env->CallStaticIntMethod(winInet, read0, handle, buffer, jint{0}, jint{kPiece})) > 0;)
            total += static_cast<std::size_t>(read);
    }
    callVoid("wininet/WinInet.destroy0", {handle});
    env->PopLocalFrame(nullptr);
    return total;
}

// The same with the library's calls and a buffer of the program's own.
std::size_t plain(const HttpTestServer& server) {
    const HINTERNET internet = InternetOpenW(L"bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    const HINTERNET connection = InternetConnectW(internet, server.host().c_str(), static_cast<INTERNET_PORT>(server.port()),
                                                  nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    const wchar_t* accept[] = {L"*/*", nullptr};
    const HINTERNET request = HttpOpenRequestW(connection, L"GET", L"/large", nullptr, nullptr, accept, kFresh, 0);
    std::size_t total = 0;
    if (HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
        std::vector<char> buffer(kPiece);
        for (DWORD read = 0; InternetReadFile(request, buffer.data(), static_cast<DWORD>(kPiece), &read) && read > 0;)
            total += read;
    }
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(internet);
    return total;
}

// The stand-in machine's work for `count` downloads' reads, without the library: read0 called as
// a download calls it (on no session, so that it returns at once), then what read0 does through
// JNI with a piece it got.
double machineShare(int count) {
    JNIEnv* env = natives_test::env();
    env->PushLocalFrame(16);
    const jclass winInet = env->FindClass("com/corvane/runtime/installer/platform/win32/wininet/WinInet");
    const jmethodID read0 = env->GetStaticMethodID(winInet, "read0", "(J[BII)I");
    const jbyteArray buffer = env->NewByteArray(kPiece);
    std::vector<jbyte> piece(kPiece, 1);
    const std::size_t calls = (HttpTestServer::kLargeSize + kPiece - 1) / kPiece * static_cast<std::size_t>(count);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < calls; ++i) {
        env->CallStaticIntMethod(winInet, read0, jlong{0}, buffer, jint{0}, jint{kPiece});
        if (env->GetArrayLength(buffer) < kPiece || env->ExceptionCheck()) std::exit(1);
        env->SetByteArrayRegion(buffer, 0, kPiece, piece.data());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    env->PopLocalFrame(nullptr);
    return seconds;
}

template <class Download>
double timed(const HttpTestServer& server, int count, Download download) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        if (download(server) != HttpTestServer::kLargeSize) {
            std::fprintf(stderr, "a download came back short\n");
            std::exit(1);
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 8;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    if (!natives_test::callBoolean("wininet/WinInet.init0", {})) return 1;
    const HttpTestServer server;
    timed(server, 1, plain);  // the library and the server warmed
    timed(server, 1, throughNatives);
    std::vector<double> natives, plainRuns, ratios, machine;
    for (int round = 0; round < rounds; ++round) {
        // Each goes first in every other round, so that neither gains from the other's warm-up.
        if (round % 2 == 0) {
            plainRuns.push_back(timed(server, count, plain));
            natives.push_back(timed(server, count, throughNatives));
        } else {
            natives.push_back(timed(server, count, throughNatives));
            plainRuns.push_back(timed(server, count, plain));
        }
        machine.push_back(machineShare(count));
        ratios.push_back(natives.back() / plainRuns.back());
        std::printf("round %d: plain %.3f s, natives %.3f s, ratio %.3f\n", round + 1, plainRuns.back(), natives.back(),
                    ratios.back());
        std::fflush(stdout);
    }
    const double megabytes = static_cast<double>(HttpTestServer::kLargeSize) * count / (1024 * 1024);
    std::printf("%.0f MB per round (%d downloads) in 64 KB pieces, medians of %d rounds: plain InternetReadFile %.3f s "
                "(%.0f MB/s), read0 %.3f s (%.0f MB/s); ratio %.3f (median of the rounds' ratios %.3f; at most 1.10 "
                "wanted)\n",
                megabytes, count, rounds, median(plainRuns), megabytes / median(plainRuns), median(natives),
                megabytes / median(natives), median(natives) / median(plainRuns), median(ratios));
    std::printf("of read0's time, the stand-in machine's own JNI work for the same calls %.3f s; without it, ratio %.3f\n",
                median(machine), (median(natives) - median(machine)) / median(plainRuns));
    return 0;
}
