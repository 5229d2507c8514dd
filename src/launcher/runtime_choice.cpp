#include "launcher/runtime_choice.h"

#include <commctrl.h>
#include <direct.h>

#include <atomic>

#include "files/path_operations.h"
#include "files/temporary_directory.h"
#include "jre/archive/jre_archive.h"
#include "jre/jvm_loading.h"
#include "jre/packed_archives.h"
#include "services/cancel.h"
#include "services/error_path.h"
#include "services/log.h"
#include "services/tables.h"
#include "resources/resource_ids.h"

namespace launcher {

using services::failWithMessage;
using services::failWithText;
using services::isCancelled;
using services::logError;
using services::logMessage;

namespace {

constexpr int32_t kUnpackedSizeId = 151;
constexpr int32_t kPackedRuntimeId = 153;

// Written by the work flow, read by the progress thread.
std::atomic<bool> jrePrepared{false};
std::atomic<DWORD> extractionDuration{0};

// Moves the bar from 200 towards 300 while packed jars are expanded, paced by how long the
// archive took to unpack.
DWORD WINAPI packedProgress(void* parameter) {
    const HWND window = static_cast<HWND>(parameter);
    int position = 200;
    while (!jrePrepared.load() && position < 300) {
        Sleep(extractionDuration.load() / 10);
        position += 10;
        SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    return 0;
}

}  // namespace

void useIncludedJre() {
    const std::string directory = files::fullPathName(std::string("jre"));
    services::logMessage(L"JRE dir: %S", directory);
    if (jre::LoadDLL(false, directory.empty() ? std::string("jre") : directory, false)) return;
    services::logError(L"Could not load bundled JRE. Trying to find another JRE.");
    if (jre::LoadDLL(false, std::nullopt, false)) return;
    services::logError(L"Could not find another JRE.");
    if (files::temporaryBaseFallbackUsed()) services::failWithMessage(1015);
    services::failWithText(L"Could not use bundled JRE. Please send this log file to your software vendor:");
}

void prepareIncludedJre(HWND window) {
    const DWORD start = GetTickCount();
    services::logMessage(L"extracting JRE");
    if (_mkdir("jre") != 0) services::logError(L"Could not create JRE dir");
    const int64_t total = services::configInteger(kUnpackedSizeId);
    if (!jre::extractJreArchive("jre.tar.gz", "jre", window, total)) {
        if (services::isCancelled()) return;
        services::logError(L"Could not untar JRE");
        services::failWithText(L"The bundled JRE is corrupted. If you downloaded the setup file please download it again.");
    }
    if (services::isCancelled()) return;
    DeleteFileA("jre.tar.gz");
    extractionDuration = GetTickCount() - start;

    if (services::configInteger(kPackedRuntimeId) != 0) {
        services::logMessage(L"JRE is packed");
        if (window) {
            if (const HANDLE thread = CreateThread(nullptr, 0, packedProgress, window, 0, nullptr)) {
                SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
                CloseHandle(thread);
            }
        }
        jre::expandPackedJars("jre");
        if (services::isCancelled()) return;
        jre::expandPackedJars("jre\\jre");
        jrePrepared = true;
    }
    if (services::isCancelled()) return;
    useIncludedJre();
}

}  // namespace launcher
