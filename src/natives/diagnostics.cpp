#include "natives/diagnostics.h"

#include <atomic>
#include <cstdio>

namespace natives {

namespace {

std::atomic<DiagnosticWriter> replacedWriter{nullptr};

}  // namespace

void writeDiagnostic(Stream stream, std::string_view text) {
    if (const DiagnosticWriter writer = replacedWriter.load()) {
        writer(stream, text);
        return;
    }
    std::FILE* file = stream == Stream::Output ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}

DiagnosticWriter setDiagnosticWriter(DiagnosticWriter writer) { return replacedWriter.exchange(writer); }

}  // namespace natives
