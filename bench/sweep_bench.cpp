// What the sweep of ended runs costs a run at its start: in a temporary folder that also holds
// 300 files and 30 folders of other programs, with 0, 1 and 50 leftovers of ended runs (each a
// marked reservation and a directory of 40 files in five folders, as a small installer leaves
// it). The baseline of each case is the least the work can cost, measured in the same run: a
// listing of the folder for "nothing to do", plain deletions of the same trees otherwise.
// Prints per case the median milliseconds of both and their ratio. Usage: sweep_bench [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/run_reservation.h"

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double millisecondsOf(void (*work)(const std::wstring&, int), const std::wstring& base, int count) {
    const auto start = std::chrono::steady_clock::now();
    work(base, count);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void writeFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "content", 7, &written, nullptr);
    CloseHandle(file);
}

// A tree of 40 files in five folders, as an ended run's extraction leaves it.
void layOutTree(const std::wstring& root) {
    CreateDirectoryW(root.c_str(), nullptr);
    for (int folder = 0; folder < 5; ++folder) {
        const std::wstring sub = root + L"\\f" + std::to_wstring(folder);
        CreateDirectoryW(sub.c_str(), nullptr);
        for (int file = 0; file < 8; ++file) writeFile(sub + L"\\file" + std::to_wstring(file) + L".jar");
    }
}

std::wstring leftoverName(int index) { return L"lmb" + std::to_wstring(9000 + index) + L".tmp"; }

// The leftovers of `count` ended runs: each reservation was held and marked by its run, which
// has let go of it.
void layOutLeftovers(const std::wstring& base, int count) {
    for (int i = 0; i < count; ++i) {
        const std::wstring reservation = base + L"\\" + leftoverName(i);
        writeFile(reservation);
        HANDLE empty = CreateFileW(reservation.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
        CloseHandle(empty);
        files::holdReservation(reservation);
        files::releaseReservation();
        layOutTree(reservation + L"_dir1700000000");
    }
}

void removeTree(const std::wstring& root) {
    for (int folder = 0; folder < 5; ++folder) {
        const std::wstring sub = root + L"\\f" + std::to_wstring(folder);
        for (int file = 0; file < 8; ++file) DeleteFileW((sub + L"\\file" + std::to_wstring(file) + L".jar").c_str());
        RemoveDirectoryW(sub.c_str());
    }
    RemoveDirectoryW(root.c_str());
}

void plainWork(const std::wstring& base, int count) {
    if (count == 0) {
        WIN32_FIND_DATAW data;
        const HANDLE find = FindFirstFileW((base + L"\\lmb*.tmp").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        return;
    }
    for (int i = 0; i < count; ++i) {
        const std::wstring reservation = base + L"\\" + leftoverName(i);
        removeTree(reservation + L"_dir1700000000");
        DeleteFileW(reservation.c_str());
    }
}

void sweep(const std::wstring& base, int) { files::sweepEndedRuns(base, 60000); }

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    wchar_t temporary[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    const std::wstring base = std::wstring(temporary) + L"sweep_bench_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(base.c_str(), nullptr);
    for (int i = 0; i < 300; ++i) writeFile(base + L"\\other" + std::to_wstring(i) + L".tmp");
    for (int i = 0; i < 30; ++i) CreateDirectoryW((base + L"\\folder" + std::to_wstring(i)).c_str(), nullptr);

    for (const int count : {0, 1, 50}) {
        std::vector<double> swept;
        std::vector<double> plain;
        for (int round = 0; round < rounds; ++round) {
            layOutLeftovers(base, count);
            plain.push_back(millisecondsOf(plainWork, base, count));
            layOutLeftovers(base, count);
            swept.push_back(millisecondsOf(sweep, base, count));
        }
        const double sweptMs = median(swept);
        const double plainMs = median(plain);
        std::printf("%2d leftovers: sweep %.2f ms, plain %s %.2f ms, ratio %.2f\n", count, sweptMs,
                    count == 0 ? "listing" : "deletion", plainMs, plainMs > 0 ? sweptMs / plainMs : 0.0);
    }
    for (int i = 0; i < 300; ++i) DeleteFileW((base + L"\\other" + std::to_wstring(i) + L".tmp").c_str());
    for (int i = 0; i < 30; ++i) RemoveDirectoryW((base + L"\\folder" + std::to_wstring(i)).c_str());
    RemoveDirectoryW(base.c_str());
    return 0;
}
