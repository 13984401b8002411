#include "follow.h"

#include <algorithm>

namespace zephlog::tools {
namespace {

bool kept(const store::log_header &header, std::uint16_t slot) {
    return (slot + store::slot_count - header.first_slot) % store::slot_count < store::kept_count(header);
}

bool unchanged(const log_image &image, std::uint16_t slot, const store::record_bytes &bytes) {
    if (!image.holds_slot(slot)) return false;
    const auto now = image.record_bytes(slot);
    return std::equal(now.begin(), now.end(), bytes.begin());
}

std::uint16_t slot_before(std::uint16_t slot) {
    return static_cast<std::uint16_t>(slot == 0 ? store::slot_count - 1 : slot - 1);
}

// The kept records from the i-th on.
std::vector<kept_record> kept_from(const log_image &image, std::uint16_t first_index) {
    const store::log_header header = image.header();
    std::vector<kept_record> records;
    for (std::uint16_t i = first_index; i < store::kept_count(header); ++i) {
        const std::uint16_t slot = store::kept_slot(header, i);
        records.push_back({slot, image.record(slot)});
    }
    return records;
}

}  // namespace

ring_follower::ring_follower(const log_image &image) { remember(image); }

void ring_follower::remember(const log_image &image) {
    header_ = image.header();
    newest_.reset();
    if (store::is_empty(header_)) return;
    const auto bytes = image.record_bytes(slot_before(header_.next_slot));
    newest_.emplace();
    std::copy(bytes.begin(), bytes.end(), newest_->begin());
}

ring_follower::step ring_follower::advance(const log_image &image) {
    const store::log_header now = image.header();
    step result;
    if (newest_) {
        const std::uint16_t newest_slot = slot_before(header_.next_slot);
        if (kept(now, newest_slot) && unchanged(image, newest_slot, *newest_)) {
            const auto index = static_cast<std::uint16_t>((newest_slot + store::slot_count - now.first_slot) %
                                                          store::slot_count);
            result.arrived = kept_from(image, static_cast<std::uint16_t>(index + 1));
        } else {
            result.lost = !(now.next_slot == newest_slot && unchanged(image, newest_slot, *newest_));
            result.arrived = kept_from(image, 0);
        }
    } else if (!(store::is_empty(now) && now.next_slot == header_.next_slot)) {
        // The ring was empty: the first new record went to the old next_slot, the oldest kept if none was lost.
        result.lost = now.first_slot != header_.next_slot;
        result.arrived = kept_from(image, 0);
    }
    remember(image);
    return result;
}

}  // namespace zephlog::tools
