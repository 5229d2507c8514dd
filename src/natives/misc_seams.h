// What the Misc natives hand to the system where a test must not let it through.
#pragma once

#include "services/platform.h"

namespace natives {

// The steps reboot0 takes; nullptr restores the system's own (services::systemRebootActions).
void setRebootActions(const services::RebootActions* actions);

}  // namespace natives
