// The road of every run: verification, extraction directory, extraction of the included
// files, choice and preparation of the Java runtime, and the launch.
#pragma once

#include <windows.h>

namespace launcher {

// Runs the work with progress to control 1001 of `progressWindow` (or without). Returns 0
// when the run went its way, 1 when the user cancelled; ends the process itself on fatal
// errors and in the extract-and-exit mode.
int runInstallerWork(HWND progressWindow);

}  // namespace launcher
