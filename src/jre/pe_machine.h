// The machine field of a Windows executable's PE header: which runtimes the launcher can load
// into its own process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/bitness.h"
#include "media/byte_source.h"

namespace jre {

constexpr uint16_t kMachineX86 = 0x14C;    // 332
constexpr uint16_t kMachineAmd64 = 0x8664;  // 34404

// A runtime's jvm.dll is loaded into the launcher, so its java.exe must be built for the
// launcher's own machine: x86 for launcher.exe, x86-64 for launcher64.exe.
constexpr uint16_t kAcceptedJavaMachine = base::kOwnMachine;
static_assert(kAcceptedJavaMachine == kMachineX86 || kAcceptedJavaMachine == kMachineAmd64);

// The 16-bit machine field, or 0 when the source holds no readable PE header. Failures are
// logged with `path`.
uint16_t readPeMachine(media::ByteSource& source, std::string_view path);
// The same for a file (a narrow path, opened with the C runtime).
uint16_t readPeMachine(const std::string& path);

}  // namespace jre
