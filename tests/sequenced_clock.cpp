// The clock of the library's test variant (built with ZEPHLOG_SEQUENCED_CLOCK set to the first value): every
// reading is one second after the one before, so that a fixed sequence of calls stores the same bytes on every
// platform and at any time.
#include "platform/platform.h"

namespace zephlog::platform {

std::int32_t clock_now() {
    static std::int32_t next = ZEPHLOG_SEQUENCED_CLOCK;
    return next++;
}

}  // namespace zephlog::platform
