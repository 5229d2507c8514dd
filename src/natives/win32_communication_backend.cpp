// Natives of com/corvane/runtime/installer/platform/win32/Win32CommunicationBackend: blocking
// wrappers of a named pipe between two installer processes, in the block format of
// pipe_block.h. The pipe handles belong to the Java side, which closes them with closeHandle0.
#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "base/format.h"
#include "base/win/handles.h"
#include "jni/jni_toolkit.h"
#include "natives/communication_seams.h"
#include "natives/diagnostics.h"
#include "natives/jni_export.h"
#include "natives/pipe_block.h"

namespace natives {

namespace {

std::atomic<const PipeRetries*> replacedRetries{nullptr};

const PipeRetries& retries() {
    const PipeRetries* replaced = replacedRetries.load();
    return replaced ? *replaced : systemPipeRetries();
}

HANDLE pipeOf(jlong handle) { return jni::fromJavaHandle(handle); }

// The payload bytes moved by one pipe call: the pipes' buffer size.
constexpr std::size_t kBlockPiece = 65536;

// The buffer the block natives copy through, a length and one piece: one per thread, kept for
// the thread's life, so that moving a block allocates nothing beyond its Java array.
unsigned char* blockBuffer() {
    thread_local std::vector<unsigned char> buffer;
    if (buffer.empty()) buffer.resize(kBlockHeaderSize + kBlockPiece);
    return buffer.data();
}

bool readAll(HANDLE pipe, unsigned char* data, std::size_t size) {
    return moveAll(
        [pipe](unsigned char* at, std::size_t wanted, std::size_t& moved) {
            DWORD read = 0;
            const BOOL ok = ReadFile(pipe, at, static_cast<DWORD>(wanted), &read, nullptr);
            moved = read;
            return ok != FALSE;
        },
        data, size);
}

bool writeAll(HANDLE pipe, const unsigned char* data, std::size_t size) {
    return moveAll(
        [pipe](unsigned char* at, std::size_t offered, std::size_t& moved) {
            DWORD written = 0;
            const BOOL ok = WriteFile(pipe, at, static_cast<DWORD>(offered), &written, nullptr);
            moved = written;
            return ok != FALSE;
        },
        const_cast<unsigned char*>(data), size);
}

// The user SID of this process, copied into a buffer of its own; empty on failure.
std::vector<unsigned char> currentUserSid() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return {};
    const base::win::KernelHandle token(rawToken);
    DWORD size = 0;
    if (GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        size == 0) {
        return {};
    }
    std::vector<unsigned char> user(size + 1);
    if (!GetTokenInformation(token.get(), TokenUser, user.data(), static_cast<DWORD>(user.size()), &size)) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    std::vector<unsigned char> copy(GetLengthSid(sid));
    if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
    return copy;
}

void sleepFor(DWORD milliseconds) { Sleep(milliseconds); }

}  // namespace

const PipeRetries& systemPipeRetries() {
    static const PipeRetries production = {600, 200, sleepFor};
    return production;
}

void setPipeRetries(const PipeRetries* replaced) { replacedRetries.store(replaced); }

}  // namespace natives

using namespace natives;

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_getInvalidHandle0(
    JNIEnv*, jclass) {
    return jni::kInvalidJavaHandle;
}

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_createListener0(
    JNIEnv* env, jclass, jstring name, jlong securityAttributes) {
    const jni::WideString pipeName(env, name);
    if (pipeName.failed()) return jni::kInvalidJavaHandle;
    const auto security = static_cast<SECURITY_ATTRIBUTES*>(jni::fromJavaHandle(securityAttributes));
    const HANDLE pipe = CreateNamedPipeW(pipeName.get(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                         65536, 65536, 0, security);
    return jni::toJavaHandle(pipe);
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_connectNamedPipe0(
    JNIEnv*, jclass, jlong handle) {
    if (jni::isInvalidJavaHandle(handle)) return JNI_FALSE;
    const PipeRetries& limits = retries();
    for (int failures = 0;;) {
        if (ConnectNamedPipe(pipeOf(handle), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) return JNI_TRUE;
        if (++failures > limits.connectListener) {
            writeDiagnostic(Stream::Output,
                            base::formatNarrow("could not connect named pipe %d\n", static_cast<int>(GetLastError())));
            return JNI_FALSE;
        }
        limits.sleep(500);
    }
}

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_connectClient0(
    JNIEnv* env, jclass, jstring name) {
    const jni::WideString pipeName(env, name);
    if (pipeName.failed()) return 0;
    const PipeRetries& limits = retries();
    WaitNamedPipeW(pipeName.get(), 300000);
    SetLastError(0);
    for (int failures = 0;;) {
        const HANDLE pipe = CreateFileW(pipeName.get(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return jni::toJavaHandle(pipe);
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) return jni::kInvalidJavaHandle;
        if (++failures > limits.openClient) {
            writeDiagnostic(Stream::Output,
                            base::formatNarrow("could not open file %d %S\n", static_cast<int>(error), pipeName.text()));
            return 0;
        }
        limits.sleep(500);
        WaitNamedPipeW(pipeName.get(), 1000);
        SetLastError(0);
    }
}

extern "C" JNIEXPORT jbyteArray JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_readDataBlock0(
    JNIEnv* env, jclass, jlong handle) {
    if (jni::isInvalidJavaHandle(handle)) return nullptr;
    // The whole header, also when the pipe hands it over in pieces: a part left unread would
    // be taken for payload by the next call.
    std::array<unsigned char, kBlockHeaderSize> header{};
    if (!readAll(pipeOf(handle), header.data(), header.size())) return nullptr;
    // A negative length is a damaged stream, not an end: the virtual machine refuses the array
    // (NegativeArraySizeException), and the Java side sees that rather than a closed pipe.
    const std::int32_t length = blockLength(header);
    jni::LocalRef<jbyteArray> block(env, env->NewByteArray(length));
    if (!block) return nullptr;
    // The payload passes through the thread's buffer into the array: a single copy, where the
    // array's pinned elements are a copy of their own on most virtual machines. No read asks
    // for more than the block still holds: what follows it belongs to the next call.
    unsigned char* const piece = blockBuffer();
    for (std::int32_t done = 0; done < length;) {
        const auto size = static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(length - done), kBlockPiece));
        if (!readAll(pipeOf(handle), piece, static_cast<std::size_t>(size))) return nullptr;
        env->SetByteArrayRegion(block.get(), done, size, reinterpret_cast<const jbyte*>(piece));
        if (jni::exceptionPending(env)) return nullptr;
        done += size;
    }
    return block.release();
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_writeDataBlock0(
    JNIEnv* env, jclass, jlong handle, jbyteArray data) {
    if (jni::isInvalidJavaHandle(handle) || data == nullptr) return JNI_FALSE;
    const jsize length = env->GetArrayLength(data);
    if (jni::exceptionPending(env) || length < 0) return JNI_FALSE;
    // Under Wine every pipe call is a round trip to the server, and the reader wakes once per
    // write: the length goes out in one write with the payload, or with its first piece where
    // the payload is larger than the pipe's buffer. The bytes pass through the thread's
    // buffer, copied once from the array.
    const auto total = static_cast<std::size_t>(length);
    unsigned char* const piece = blockBuffer();
    const auto header = blockHeader(length);
    std::copy(header.begin(), header.end(), piece);
    std::size_t done = 0;
    std::size_t offset = kBlockHeaderSize;
    do {
        const std::size_t size = std::min(total - done, kBlockPiece);
        env->GetByteArrayRegion(data, static_cast<jsize>(done), static_cast<jsize>(size),
                                reinterpret_cast<jbyte*>(piece + offset));
        if (jni::exceptionPending(env)) return JNI_FALSE;
        if (!writeAll(pipeOf(handle), piece, offset + size)) return JNI_FALSE;
        done += size;
        offset = 0;
    } while (done < total);
    FlushFileBuffers(pipeOf(handle));
    return JNI_TRUE;
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_disconnectNamedPipe0(
    JNIEnv*, jclass, jlong handle) {
    if (!jni::isInvalidJavaHandle(handle)) DisconnectNamedPipe(pipeOf(handle));
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_closeHandle0(
    JNIEnv*, jclass, jlong handle) {
    if (!jni::isInvalidJavaHandle(handle)) CloseHandle(pipeOf(handle));
}

// The record and its descriptor stay for the life of the process: the Java side may create
// listeners with them at any time and has no call to free them.
extern "C" JNIEXPORT jlong JNICALL
Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_createCurrentUserSecurityAttributes0(JNIEnv*, jclass) {
    const std::vector<unsigned char> sid = currentUserSid();
    if (sid.empty()) return 0;
    EXPLICIT_ACCESS_W access = {};
    access.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(const_cast<unsigned char*>(sid.data()));
    PACL acl = nullptr;
    if (SetEntriesInAclW(1, &access, nullptr, &acl) != ERROR_SUCCESS) return 0;
    const auto descriptor = static_cast<PSECURITY_DESCRIPTOR>(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!descriptor || !InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE)) {
        LocalFree(descriptor);
        LocalFree(acl);
        return 0;
    }
    const auto attributes = static_cast<SECURITY_ATTRIBUTES*>(LocalAlloc(LPTR, sizeof(SECURITY_ATTRIBUTES)));
    if (!attributes) {
        LocalFree(descriptor);
        LocalFree(acl);
        return 0;
    }
    attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
    attributes->lpSecurityDescriptor = descriptor;
    attributes->bInheritHandle = FALSE;
    return jni::toJavaHandle(attributes);
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_isProcessAlive0(
    JNIEnv*, jclass, jint processId) {
    const base::win::KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId)));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED ? JNI_TRUE : JNI_FALSE;
    DWORD code = 0;
    return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE ? JNI_TRUE : JNI_FALSE;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32CommunicationBackend_getCurrentProcessId0(
    JNIEnv*, jclass) {
    return static_cast<jint>(GetCurrentProcessId());
}
