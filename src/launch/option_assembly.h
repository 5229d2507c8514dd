// The complete, ordered option list of the virtual machine: launcher system properties,
// configured and file options, "-J" arguments, class path and module path, argument files.
// Portable; the system is reached through AssemblyServices.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launch/vm_options.h"

namespace launch {

class AssemblyServices : public OptionServices {
public:
    // A relative path put behind the executable's folder (narrow form).
    virtual std::string resolveNarrow(const std::string& path) = 0;
    virtual bool pathExists(const std::string& path) = 0;
    // Names of the files in `directory` matching `pattern` ("*.jar"), in listing order.
    virtual std::vector<std::string> listFiles(const std::string& directory, const char* pattern) = 0;
    virtual std::optional<std::string> environmentValue(const std::string& name) = 0;
    // The executable's long path, and the module file name the system reports for the process.
    virtual std::wstring executableLongPath() = 0;
    virtual std::wstring moduleFileName() = 0;
    // Replaces "@file" options by the options the runtime's own reader finds in the file.
    virtual void expandArgumentFiles(std::vector<std::string>& options) = 0;
    // Ends the launcher with the message (1006, 1008) and its argument.
    [[noreturn]] virtual void fail(int message, const std::string& argument) = 0;
};

struct PropertyInputs {
    std::optional<std::string> semaphoreName;
    bool manualJre = false;
    bool previousInstallationJre = false;
    bool installerKind = false;
    std::string executableNarrowPath;
    std::string extractionDirectory;
    int64_t unextractedPosition = 0;
    std::optional<std::string> path;  // PATH as it is now
    bool manpathSet = false;
    unsigned consoleCodePage = 0;
};
// The launcher's system properties, in their fixed order.
std::vector<std::string> launcherSystemProperties(const PropertyInputs& inputs);

struct AssemblyInputs {
    std::vector<std::string> properties;
    std::vector<std::wstring> arguments;  // the program arguments, element 0 the launcher
    std::optional<std::string> runtimeVersion;
    std::optional<std::string> language;
    std::optional<std::string> country;
    std::string extractionDirectory;
    bool installerKind = false;
};
// Builds the list and logs it ("vmoption count %d", "vmoption %d: %S").
std::vector<std::string> assembleJvmOptions(const AssemblyInputs& inputs, AssemblyServices& services);

// The class path or module path text of a configured entry list (config ids 121, 132), each
// entry followed by ";". Missing required entries end the launcher through services.fail.
std::string configuredPathEntries(const std::string& list, bool modulePath, AssemblyServices& services);

// "--add-modules" and its kin followed by a value become one "name=value" option.
void joinModuleOptions(std::vector<std::string>& options);

// "-Xss" sizes: a decimal number with at most one of the suffixes k, m, g, t (either case).
std::optional<int64_t> parseStackSize(std::string_view text);
// The thread's stack reservation for the options: the last positive "-Xss" size (low 32 bits),
// at least 65536 when set; 0 for the default.
uint32_t stackReservation(const std::vector<std::string>& options);

}  // namespace launch
