// Folders of a test: a private one under the temporary folder, and the removal of a folder with
// everything in it (links inside it are removed, never followed).
#pragma once

#include <string>
#include <vector>

namespace test_support {

void removeTree(const std::wstring& path);

// A new folder "<prefix><process id>_<n>" under the system's temporary folder, removed with
// everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    // The names of the entries directly in the folder.
    std::vector<std::wstring> names() const;

private:
    std::wstring path_;
};

}  // namespace test_support
