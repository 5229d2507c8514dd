// Launcher variable expansion over this process's values: the executable's directories, the
// extraction directory, the loaded runtime's home, the temporary base and the environment.
#pragma once

#include <functional>
#include <string>

#include "files/variable_expansion.h"

namespace files {

// Values owned by other parts of the launcher. An empty function stands for the files module's
// own value (files::executableNarrowPath, files::extractionDirectory).
void setExecutableNarrowPathProvider(std::function<std::string()> provider);
void setExtractionDirectoryProvider(std::function<std::string()> provider);
// The home of the loaded runtime, published by the JVM loading once a runtime is loaded;
// empty until then.
void setRuntimeHomeProvider(std::function<std::string()> provider);
// The temporary base in its narrow form and in its required wide form; either may end the
// run when there is no usable base. Empty functions stand for files::temporaryBaseNarrow and
// files::temporaryBaseWide(true).
void setTemporaryBaseProviders(std::function<std::string()> narrow, std::function<std::wstring()> wide);

// The source every expansion of the launcher uses.
ExpansionSource& processExpansionSource();

void expandLauncherVariables(std::string& text);
void expandLauncherVariables(std::wstring& text, ExpansionMode mode);

}  // namespace files
