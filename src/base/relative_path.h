// Whether a relative name from outside (an included file's name, an archive entry) stays
// inside the folder it is joined to.
#pragma once

#include <string_view>

namespace base {

// False for absolute names ("\x", "/x"), names with a drive or stream colon ("C:x",
// "a.txt:s") and names with a ".." component; Windows ignores trailing dots and blanks of a
// component, so "..." and ". ." count as such too. A "." component ("./bin/java.exe", as tar
// writes an archive of the current folder) names the folder itself and is fine.
bool staysInside(std::string_view relativeName);

}  // namespace base
