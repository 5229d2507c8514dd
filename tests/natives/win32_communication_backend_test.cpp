// Win32CommunicationBackend: blocks through a real named pipe to natives_peer.exe, which reads
// and writes the format on its own; both ways of meeting (client first, listener first); the
// current user's security attributes and a pipe that refuses the caller; the give-up paths with
// short retries; processes alive and ended; the invalid handle everywhere.
#include <windows.h>
#include <sddl.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "harness/natives_test.h"
#include "natives/communication_seams.h"
#include "peer_process.h"

namespace natives_test {
namespace {

class CommunicationNatives : public NativesTest {};

constexpr char kBackend[] = "Win32CommunicationBackend.";

std::string native(const char* method) { return std::string(kBackend) + method; }

std::wstring pipeName(const wchar_t* what) {
    return L"\\\\.\\pipe\\natives-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + what;
}

std::vector<unsigned char> pattern(std::size_t size, unsigned seed) {
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 131 + seed) >> 3);
    return bytes;
}

// Writes each block and reads it back from the echoing peer.
void expectEchoes(jlong pipe, std::initializer_list<std::size_t> sizes) {
    unsigned seed = 1;
    for (const std::size_t size : sizes) {
        const auto sent = pattern(size, seed++);
        ASSERT_TRUE(callBoolean(native("writeDataBlock0"), {pipe, javaBytes(sent)})) << size;
        EXPECT_EQ(bytesOf(callObject(native("readDataBlock0"), {pipe})), sent) << size;
    }
}

struct ShortRetries {
    static inline int sleeps = 0;
    static void sleep(DWORD) { ++sleeps; }
};

TEST_F(CommunicationNatives, BlocksCrossToAnotherProcessBothWays) {
    const std::wstring name = pipeName(L"blocks");
    const jlong listener = callLong(native("createListener0"), {javaString(name), 0});
    ASSERT_NE(listener, -1);
    Peer peer(L"pipe-echo " + name);
    ASSERT_TRUE(callBoolean(native("connectNamedPipe0"), {listener}));
    expectEchoes(listener, {0, 1, 65536, 70000});
    // A sequence: all blocks out first, then all echoes back, in order.
    for (unsigned i = 0; i < 8; ++i) {
        ASSERT_TRUE(callBoolean(native("writeDataBlock0"), {listener, javaBytes(pattern(100 + i, i))}));
    }
    for (unsigned i = 0; i < 8; ++i) EXPECT_EQ(bytesOf(callObject(native("readDataBlock0"), {listener})), pattern(100 + i, i));
    callVoid(native("disconnectNamedPipe0"), {listener});
    EXPECT_TRUE(peer.endsWithin(10000));
    EXPECT_EQ(peer.exitCode(), 0u);  // it saw whole blocks only, then the end
    callVoid(native("closeHandle0"), {listener});
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(jni::fromJavaHandle(listener), &flags));
}

TEST_F(CommunicationNatives, ClientFirstAndListenerFirst) {
    {
        const std::wstring name = pipeName(L"client-first");
        const jlong listener = callLong(native("createListener0"), {javaString(name), 0});
        Peer peer(L"pipe-echo " + name);
        // The peer is connected before the listener asks.
        for (int i = 0; i < 200 && !WaitNamedPipeW(name.c_str(), 0) && peer.running(); ++i) Sleep(25);
        Sleep(300);
        EXPECT_TRUE(callBoolean(native("connectNamedPipe0"), {listener}));
        expectEchoes(listener, {5});
        callVoid(native("closeHandle0"), {listener});
    }
    {
        const std::wstring name = pipeName(L"listener-first");
        Peer peer(L"pipe-listen " + name);
        const jlong client = callLong(native("connectClient0"), {javaString(name)});
        ASSERT_NE(client, -1);
        ASSERT_NE(client, 0);
        expectEchoes(client, {3, 70000});
        callVoid(native("closeHandle0"), {client});
        EXPECT_TRUE(peer.endsWithin(10000));
    }
}

TEST_F(CommunicationNatives, SecurityAttributesOfTheCurrentUser) {
    const jlong attributes = callLong(native("createCurrentUserSecurityAttributes0"), {});
    ASSERT_NE(attributes, 0);
    const auto* record = static_cast<SECURITY_ATTRIBUTES*>(jni::fromJavaHandle(attributes));
    wchar_t* sddl = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(record->lpSecurityDescriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &sddl, nullptr));
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    unsigned char user[256];
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, user, sizeof(user), &size);
    CloseHandle(token);
    wchar_t* sid = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid);
    EXPECT_EQ(std::wstring(sddl), L"D:(A;;0x12019f;;;" + std::wstring(sid) + L")");
    LocalFree(sddl);
    LocalFree(sid);

    // The current user opens a pipe made with them.
    const std::wstring name = pipeName(L"own-user");
    const jlong listener = callLong(native("createListener0"), {javaString(name), attributes});
    ASSERT_NE(listener, -1);
    Peer peer(L"pipe-echo " + name);
    ASSERT_TRUE(callBoolean(native("connectNamedPipe0"), {listener}));
    expectEchoes(listener, {16});
    callVoid(native("closeHandle0"), {listener});
}

TEST_F(CommunicationNatives, ClientGivesUpOnRefusalAtOnceAndOnAbsenceAfterItsRetries) {
    // Wine opens a pipe whatever its DACL says, so the refusal comes from a directory, which
    // CreateFileW refuses to open without backup semantics.
    static const natives::PipeRetries shortRetries = {3, 3, ShortRetries::sleep};
    natives::setPipeRetries(&shortRetries);
    ShortRetries::sleeps = 0;
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(callLong(native("connectClient0"), {javaString(windows)}), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(ShortRetries::sleeps, 0);

    DiagnosticsCapture lines;
    const std::wstring missing = pipeName(L"nobody");
    EXPECT_EQ(callLong(native("connectClient0"), {javaString(missing)}), 0);
    EXPECT_EQ(ShortRetries::sleeps, 3);
    EXPECT_EQ(lines.output(), "could not open file 2 " + std::string(missing.begin(), missing.end()) + "\n");

    // A listener handle that is no pipe fails every connection attempt.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const HANDLE file = CreateFileW((std::wstring(temp) + L"not a pipe.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    lines.output().clear();
    ShortRetries::sleeps = 0;
    EXPECT_FALSE(callBoolean(native("connectNamedPipe0"), {jni::toJavaHandle(file)}));
    EXPECT_EQ(ShortRetries::sleeps, 3);
    EXPECT_EQ(lines.output().rfind("could not connect named pipe ", 0), 0u) << lines.output();
    CloseHandle(file);
    natives::setPipeRetries(nullptr);
}

TEST_F(CommunicationNatives, WireBytesAndCutBlocks) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    // An empty block is its four length bytes alone; flushing waits for the reader.
    std::vector<unsigned char> seen(4, 0xAA);
    std::thread reader([&] {
        DWORD read = 0;
        ReadFile(readEnd, seen.data(), 4, &read, nullptr);
        seen.resize(read);
    });
    EXPECT_TRUE(callBoolean(native("writeDataBlock0"), {jni::toJavaHandle(writeEnd), javaBytes(std::vector<unsigned char>{})}));
    reader.join();
    EXPECT_EQ(seen, (std::vector<unsigned char>{0, 0, 0, 0}));

    // A length 70000 in pieces, then 3 bytes and the end: no block.
    const unsigned char header[] = {0x70, 0x11, 0x01, 0x00, 1, 2, 3};
    DWORD written = 0;
    WriteFile(writeEnd, header, 2, &written, nullptr);
    WriteFile(writeEnd, header + 2, 5, &written, nullptr);
    CloseHandle(writeEnd);
    EXPECT_EQ(callObject(native("readDataBlock0"), {jni::toJavaHandle(readEnd)}), nullptr);
    EXPECT_EQ(callObject(native("readDataBlock0"), {jni::toJavaHandle(readEnd)}), nullptr);  // ended
    CloseHandle(readEnd);

    // A negative length is a damaged stream: the virtual machine's refusal of the array stays
    // pending, so that the Java side does not take it for the end of the pipe.
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    const unsigned char negative[] = {0xFF, 0xFF, 0xFF, 0xFF};
    WriteFile(writeEnd, negative, 4, &written, nullptr);
    EXPECT_EQ(callObject(native("readDataBlock0"), {jni::toJavaHandle(readEnd)}), nullptr);
    EXPECT_NE(takePendingException().find("NegativeArraySizeException"), std::string::npos);
    CloseHandle(writeEnd);
    CloseHandle(readEnd);
}

// Java threads move blocks at the same time, each through the natives' buffer of its own
// thread: a writing and a reading thread on each of two pipes, blocks of several pieces with
// patterns of their own, and every block arrives whole and unmixed.
TEST_F(CommunicationNatives, ThreadsMoveBlocksSideBySide) {
    constexpr unsigned kBlocks = 16;
    HANDLE ends[2][2] = {};
    for (auto& pipe : ends) ASSERT_TRUE(CreatePipe(&pipe[0], &pipe[1], nullptr, 0));
    const auto block = [](unsigned pipe, unsigned i) { return pattern(150000 + i, pipe * 100 + i); };
    std::atomic<int> failures{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (unsigned p = 0; p < 2; ++p) {
        const jlong readEnd = jni::toJavaHandle(ends[p][0]);
        const jlong writeEnd = jni::toJavaHandle(ends[p][1]);
        threads.emplace_back([&, p, writeEnd] {
            AttachedThread java;
            for (unsigned i = 0; i < kBlocks; ++i) {
                if (!callBoolean(native("writeDataBlock0"), {writeEnd, javaBytes(block(p, i))})) ++failures;
            }
            ++finished;
        });
        threads.emplace_back([&, p, readEnd] {
            AttachedThread java;
            for (unsigned i = 0; i < kBlocks; ++i) {
                if (bytesOf(callObject(native("readDataBlock0"), {readEnd})) != block(p, i)) ++failures;
            }
            ++finished;
        });
    }
    // Mixed bytes make a reader wait for a length that never comes: closing the pipes ends it.
    for (int waited = 0; finished < 4 && waited < 300; ++waited) Sleep(100);
    EXPECT_EQ(finished, 4) << "the threads were stuck";
    for (auto& pipe : ends) {
        CloseHandle(pipe[0]);
        CloseHandle(pipe[1]);
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
}

TEST_F(CommunicationNatives, ProcessesAndTheInvalidHandle) {
    EXPECT_EQ(callInt(native("getCurrentProcessId0"), {}), static_cast<jint>(GetCurrentProcessId()));
    EXPECT_TRUE(callBoolean(native("isProcessAlive0"), {static_cast<jint>(GetCurrentProcessId())}));
    {
        Peer peer(L"hidden");
        EXPECT_TRUE(callBoolean(native("isProcessAlive0"), {static_cast<jint>(peer.id())}));
        TerminateProcess(peer.handle(), 1);
        ASSERT_TRUE(peer.endsWithin(10000));
        EXPECT_FALSE(callBoolean(native("isProcessAlive0"), {static_cast<jint>(peer.id())}));
    }
    EXPECT_FALSE(callBoolean(native("isProcessAlive0"), {0x7FFFFFFC}));

    const jlong invalid = callLong(native("getInvalidHandle0"), {});
    EXPECT_EQ(invalid, -1);
    EXPECT_FALSE(callBoolean(native("connectNamedPipe0"), {invalid}));
    EXPECT_EQ(callObject(native("readDataBlock0"), {invalid}), nullptr);
    EXPECT_FALSE(callBoolean(native("writeDataBlock0"), {invalid, javaBytes(pattern(2, 0))}));
    callVoid(native("disconnectNamedPipe0"), {invalid});
    callVoid(native("closeHandle0"), {invalid});
    EXPECT_EQ(callLong(native("createListener0"), {javaString(L"not a pipe name"), 0}), -1);
}

}  // namespace
}  // namespace natives_test
