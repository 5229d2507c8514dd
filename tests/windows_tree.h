// Removes a folder of a test with everything in it; links inside it are removed, never followed.
#pragma once

#include <string>

namespace test_support {

void removeTree(const std::wstring& path);

}  // namespace test_support
