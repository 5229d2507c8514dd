// The few lines natives write for whoever watches the installer's console: standard output or
// standard error of the C runtime, flushed at once so that they interleave with the Java side's
// own output. Tests replace the writer to read the lines back.
#pragma once

#include <string_view>

namespace natives {

enum class Stream { Output, Error };

void writeDiagnostic(Stream stream, std::string_view text);

using DiagnosticWriter = void (*)(Stream stream, std::string_view text);
// Replaces the writer (nullptr restores the C runtime's streams); returns the previous one.
DiagnosticWriter setDiagnosticWriter(DiagnosticWriter writer);

}  // namespace natives
