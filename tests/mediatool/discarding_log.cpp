// The launcher's tar reader logs as it unpacks; these tests read its results, not its lines.
#include "services/log.h"

namespace services {
void writeLogLine(bool, std::wstring_view) {}
}  // namespace services
