// MB megabytes through a named pipe between two processes of this program, in blocks of 64 KB:
// once with writeDataBlock0/readDataBlock0 called through JNI on the stand-in virtual machine
// (as the Java side calls them), once with plain WriteFile/ReadFile of the same pieces, and twice
// with plain calls in the natives' own pattern (length and payload in one write, then a flush;
// and the same without the flush), which tells the block format's and the flush's cost from the
// natives'. Prints the seconds of each, per round, from the connection to the reader's
// acknowledgement, then the medians and what each step adds per block.
//   pipe_blocks_bench [MB] [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/java_machine.h"
#include "harness/native_call.h"

namespace {

using natives_test::callLong;

constexpr std::size_t kPiece = 65536;

// A block native as a Java call site reaches it: class and method resolved once, each call then
// CallStatic<Type>MethodA through the binding registerNativesEx made (the tests' callNative looks
// both up on every call, which is no part of a call from Java).
struct BlockNatives {
    JNIEnv* env = natives_test::env();
    jclass type = env->FindClass("com/corvane/runtime/installer/platform/win32/Win32CommunicationBackend");
    jmethodID read = type ? env->GetStaticMethodID(type, "readDataBlock0", "(J)[B") : nullptr;
    jmethodID write = type ? env->GetStaticMethodID(type, "writeDataBlock0", "(J[B)Z") : nullptr;

    BlockNatives() {
        if (read == nullptr || write == nullptr) {
            std::fprintf(stderr, "the block natives are not bound\n");
            std::exit(1);
        }
    }
    jobject readBlock(jlong pipe) const {
        jvalue argument;
        argument.j = pipe;
        return env->CallStaticObjectMethodA(type, read, &argument);
    }
    bool writeBlock(jlong pipe, jbyteArray data) const {
        jvalue arguments[2];
        arguments[0].j = pipe;
        arguments[1].l = data;
        return env->CallStaticBooleanMethodA(type, write, arguments) == JNI_TRUE;
    }
};

std::wstring ownPath() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

bool rawAll(HANDLE pipe, char* data, DWORD size, bool write) {
    for (DWORD done = 0; done < size;) {
        DWORD moved = 0;
        const BOOL ok = write ? WriteFile(pipe, data + done, size - done, &moved, nullptr)
                              : ReadFile(pipe, data + done, size - done, &moved, nullptr);
        if (!ok || moved == 0) return false;
        done += moved;
    }
    return true;
}

// The natives on both ends, plain calls (64 KB pieces or the blocks' pattern, with and without
// the flush), and the natives on one end only against plain calls in their pattern on the other.
enum class Way { Plain, Natives, PlainBlocks, PlainBlocksUnflushed, NativesWriting, NativesReading };

bool nativesWrite(Way way) { return way == Way::Natives || way == Way::NativesWriting; }
bool nativesRead(Way way) { return way == Way::Natives || way == Way::NativesReading; }

// The reader: takes `pieces` blocks, then answers with one block of its own.
int reader(Way way, const std::wstring& name, long long pieces) {
    const bool natives = nativesRead(way);
    JNIEnv* env = natives_test::env();
    if (natives) {
        const jlong pipe = callLong("Win32CommunicationBackend.connectClient0", {env->NewString(
                                        reinterpret_cast<const jchar*>(name.c_str()), static_cast<jsize>(name.size()))});
        if (pipe == 0 || pipe == -1) return 3;
        const BlockNatives blocks;
        for (long long i = 0; i < pieces; ++i) {
            const jobject block = blocks.readBlock(pipe);
            if (!block) return 4;
            env->DeleteLocalRef(block);
        }
        const jbyteArray done = env->NewByteArray(1);
        return blocks.writeBlock(pipe, done) ? 0 : 5;
    }
    const HANDLE pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 3;
    std::vector<char> piece(kPiece);
    char header[4];
    for (long long i = 0; i < pieces; ++i) {
        if (way != Way::Plain && !rawAll(pipe, header, 4, false)) return 4;
        if (!rawAll(pipe, piece.data(), kPiece, false)) return 4;
    }
    char done = 1;
    return rawAll(pipe, &done, 1, true) ? 0 : 5;
}

// One run: starts the reader, sends the pieces, waits for its answer; the seconds from the
// connection to the answer.
double run(Way way, long long pieces, int round) {
    const bool natives = nativesWrite(way);
    const wchar_t* mode = nativesRead(way) ? L"read-natives " : way == Way::Plain ? L"read-raw " : L"read-blocks ";
    const wchar_t tag = L"pnbuwr"[static_cast<int>(way)];
    JNIEnv* env = natives_test::env();
    const std::wstring name = L"\\\\.\\pipe\\pipe-blocks-bench-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(round) + tag;
    const HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
    std::wstring commandLine = L"\"" + ownPath() + L"\" " + mode + name + L" " +
                               std::to_wstring(pieces);
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION child = {};
    if (pipe == INVALID_HANDLE_VALUE ||
        !CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        std::fprintf(stderr, "could not start the reader\n");
        std::exit(1);
    }
    ConnectNamedPipe(pipe, nullptr);
    const BlockNatives blocks;
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    if (natives) {
        const jlong handle = static_cast<jlong>(reinterpret_cast<std::intptr_t>(pipe));
        const jbyteArray piece = env->NewByteArray(static_cast<jsize>(kPiece));
        for (long long i = 0; ok && i < pieces; ++i) ok = blocks.writeBlock(handle, piece);
        if (nativesRead(way)) {
            const jobject answer = ok ? blocks.readBlock(handle) : nullptr;
            ok = answer != nullptr;
            env->DeleteLocalRef(answer);
        } else {
            char answer = 0;
            ok = ok && rawAll(pipe, &answer, 1, false);
        }
        env->DeleteLocalRef(piece);
    } else {
        std::vector<char> piece(kPiece, 7);
        std::vector<char> block(4 + kPiece, 7);
        block[0] = 0, block[1] = 0, block[2] = 1, block[3] = 0;
        for (long long i = 0; ok && i < pieces; ++i) {
            if (way != Way::Plain) {
                ok = rawAll(pipe, block.data(), static_cast<DWORD>(block.size()), true);
                if (way != Way::PlainBlocksUnflushed) FlushFileBuffers(pipe);
            } else {
                ok = rawAll(pipe, piece.data(), kPiece, true);
            }
        }
        // The natives answer with a block (its length, then one byte) and wait until it is read.
        char answer[5] = {};
        ok = ok && rawAll(pipe, answer, nativesRead(way) ? 5 : 1, false);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    WaitForSingleObject(child.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    CloseHandle(pipe);
    if (!ok || code != 0) {
        std::fprintf(stderr, "the %s run failed (reader %lu)\n", natives ? "natives" : "plain", code);
        std::exit(1);
    }
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]).starts_with("read-")) {
        const std::string mode = argv[1];
        const std::string name = argv[2];
        const Way way = mode == "read-natives" ? Way::Natives : mode == "read-raw" ? Way::Plain : Way::PlainBlocks;
        return reader(way, std::wstring(name.begin(), name.end()), std::atoll(argv[3]));
    }
    const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const long long pieces = megabytes * 16;  // 64 KB each
    std::vector<double> natives;
    std::vector<double> plain;
    std::vector<double> blocks;
    std::vector<double> unflushed;
    std::vector<double> writing;  // the natives writing only
    std::vector<double> reading;  // the natives reading only
    std::vector<double> ratios;        // natives / plain
    std::vector<double> ownRatios;     // natives / plain calls in their pattern
    for (int round = 0; round < rounds; ++round) {
        plain.push_back(run(Way::Plain, pieces, round));
        natives.push_back(run(Way::Natives, pieces, round));
        blocks.push_back(run(Way::PlainBlocks, pieces, round));
        unflushed.push_back(run(Way::PlainBlocksUnflushed, pieces, round));
        writing.push_back(run(Way::NativesWriting, pieces, round));
        reading.push_back(run(Way::NativesReading, pieces, round));
        ratios.push_back(natives.back() / plain.back());
        ownRatios.push_back(natives.back() / blocks.back());
        std::printf("round %d: plain %.3f s, natives %.3f s, ratio %.3f; plain calls in the blocks' pattern %.3f s, "
                    "without the flush %.3f s\n",
                    round + 1, plain.back(), natives.back(), ratios.back(), blocks.back(), unflushed.back());
        std::fflush(stdout);
    }
    std::printf("%lld MB in 64 KB blocks, medians of %d rounds: plain WriteFile/ReadFile %.3f s (%.0f MB/s), "
                "writeDataBlock0/readDataBlock0 %.3f s (%.0f MB/s); ratio %.3f (median of the rounds' ratios %.3f; "
                "at most 1.10 wanted)\n",
                megabytes, rounds, median(plain), megabytes / median(plain), median(natives), megabytes / median(natives),
                median(natives) / median(plain), median(ratios));
    // Where the difference lies: the same calls as the natives make (length and payload in one
    // write, a flush; a read of the length, a read of the payload) without JNI, and what of that
    // the flush is, which waits until the reader has taken the block. What the natives add on
    // top of their own pattern is theirs (and the JNI calls'); the rest is the pattern's.
    std::printf("plain calls in the blocks' pattern (length and payload, flush): %.3f s, ratio %.3f to plain; "
                "natives against it %.3f (median of the rounds' ratios %.3f)\n",
                median(blocks), median(blocks) / median(plain), median(natives) / median(blocks), median(ownRatios));
    std::printf("the same without the flush: %.3f s, ratio %.3f to plain\n", median(unflushed),
                median(unflushed) / median(plain));
    const double perBlock = 1e6 / static_cast<double>(pieces);
    std::printf("per 64 KB block: plain %.0f us, the pattern without the flush %+.0f us, the flush and the reader's "
                "acknowledgement %+.0f us, the natives' own work %+.0f us (natives %.0f us)\n",
                median(plain) * perBlock, (median(unflushed) - median(plain)) * perBlock,
                (median(blocks) - median(unflushed)) * perBlock, (median(natives) - median(blocks)) * perBlock,
                median(natives) * perBlock);
    std::printf("the natives' own work on one end only, against the pattern: writing %+.0f us, reading %+.0f us\n",
                (median(writing) - median(blocks)) * perBlock, (median(reading) - median(blocks)) * perBlock);
    return 0;
}
