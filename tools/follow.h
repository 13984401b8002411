// Following the ring: which records arrived between two looks at the file.
//
// The header alone cannot tell 5 new records from 1005: next_slot moves modulo 1000. So the follower also keeps
// the bytes of the newest record it has seen. While that record is still kept unchanged, the records after it are
// the new ones. When exactly 999 arrived, it has just been dropped but still lies at next_slot, unchanged. In
// every other case it was overwritten: at least 1000 entries arrived and the oldest of them are lost. A record
// overwritten by an identical one (same second, type, number and text) would go unnoticed.
#pragma once

#include "log_image.h"

#include <optional>
#include <vector>

namespace zephlog::tools {

class ring_follower {
public:
    // Starts from what `image` holds now; its records count as seen. The image must be free of ring_faults().
    explicit ring_follower(const log_image &image);

    struct step {
        std::vector<kept_record> arrived;  // oldest first
        bool lost = false;                 // entries arrived that were overwritten before this look
    };
    // What arrived since the last look; the image must be free of ring_faults().
    step advance(const log_image &image);

private:
    void remember(const log_image &image);

    store::log_header header_;
    std::optional<store::record_bytes> newest_;  // the newest record seen, while the ring held one
};

}  // namespace zephlog::tools
