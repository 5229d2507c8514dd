#include "services/cancel.h"

#include <atomic>
#include <cstdint>

namespace services {

namespace {
// 16 bits wide: the flag is shared with code that treats it as a short.
std::atomic<uint16_t> cancelFlag{0};
}  // namespace

bool isCancelled() { return cancelFlag.load() == 1; }

void setCancelled() { cancelFlag.fetch_or(1); }

}  // namespace services
