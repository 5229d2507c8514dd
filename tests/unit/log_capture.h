// The launcher log lines written so far by this test program, without their time prefix:
// from a recording sink on the host, from the real log file under Windows.
#pragma once

#include <string>
#include <vector>

std::vector<std::wstring> capturedLogLines();
