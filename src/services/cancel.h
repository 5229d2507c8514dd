// The user's Cancel: set by the startup dialog's thread, read by the work flow between its
// steps and inside its long loops. Once set it stays set.
#pragma once

namespace services {

bool isCancelled();
void setCancelled();

}  // namespace services
