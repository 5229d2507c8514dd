// The launcher log lines written so far by this test program, without their time prefix:
// from a recording sink on the host, from the real log file under Windows.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

std::vector<std::wstring> capturedLogLines();

// Log lines written from its construction on.
class LogSince {
public:
    LogSince() : start_(capturedLogLines().size()) {}
    std::vector<std::wstring> lines() const {
        const auto all = capturedLogLines();
        return std::vector<std::wstring>(all.begin() + static_cast<long>(std::min(start_, all.size())), all.end());
    }
    // The number of lines equal to `line`.
    size_t count(const std::wstring& line) const {
        const auto all = lines();
        return static_cast<size_t>(std::count(all.begin(), all.end(), line));
    }
    bool has(const std::wstring& line) const { return count(line) > 0; }
    // Both lines were written, `first` before `second`.
    bool inOrder(const std::wstring& first, const std::wstring& second) const {
        const auto all = lines();
        const auto at = std::find(all.begin(), all.end(), first);
        return at != all.end() && std::find(at + 1, all.end(), second) != all.end();
    }
    bool hasPrefix(const std::wstring& prefix) const {
        const auto all = lines();
        return std::any_of(all.begin(), all.end(), [&](const std::wstring& line) { return line.rfind(prefix, 0) == 0; });
    }

    // Index of the first line beginning with `prefix`, -1 when there is none.
    long position(const std::wstring& prefix) const {
        const auto all = lines();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
        return -1;
    }

private:
    size_t start_;
};
