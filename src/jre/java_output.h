// What `java -version` prints on standard error, read for its version string.
#pragma once

#include <string>
#include <string_view>

namespace jre {

// Scans every line (split at line feeds) for ` version "`; the version is the text up to the
// next quotation mark, or, when the line has none, the rest of the line without its last two
// characters. The last matching line wins; each is logged as "Java version2: %S". False when
// no line matched (`version` is then left as it was).
bool parseJavaVersionOutput(std::string_view output, std::string& version);

}  // namespace jre
