// The launcher's own machine and what follows from it. launcher.exe is the x86 build of these
// sources, launcher64.exe the x86-64 build. A process can load only a jvm.dll of its own machine,
// so the runtimes each accepts, the names its natives are exported under and the bitness it
// names to the user all come from here.
#pragma once

#include <cstdint>

namespace base {

#if defined(__x86_64__) || defined(_M_X64)
inline constexpr uint16_t kOwnMachine = 0x8664;  // 34404, the PE machine of x86-64
inline constexpr char kOwnBitness[] = "64";
#elif defined(__i386__) || defined(_M_IX86)
inline constexpr uint16_t kOwnMachine = 0x14C;  // 332, the PE machine of x86
inline constexpr char kOwnBitness[] = "32";
#else
#error "the launcher is built for x86 or x86-64 only"
#endif

// Only 32-bit Windows decorates stdcall functions ("_Name@N"); x86-64 has one calling convention
// and exports plain names.
#if defined(_WIN32) && !defined(_WIN64)
inline constexpr bool kDecoratedStdcallNames = true;
#else
inline constexpr bool kDecoratedStdcallNames = false;
#endif

// Runtimes record themselves in the registry view of their own machine: a 32-bit runtime in the
// 32-bit view (Wow6432Node on 64-bit Windows), a 64-bit one in the 64-bit view. The process's
// default view (no KEY_WOW64_* flag) is exactly the view of the launcher's own machine, so
// runtime keys are opened without a view flag in both builds.
inline constexpr uint32_t kRuntimeKeyView = 0;

}  // namespace base
