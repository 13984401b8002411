#include "log_image.h"

#include "platform/platform.h"

#include <string_view>

namespace zephlog::tools {
namespace {

// A writer holds the lock for one store, microseconds; a lock held this long belongs to a stuck process.
constexpr int lock_wait_ms = 5000;

std::string read_failure(const std::string &path, std::error_code error) {
    std::string why;
    if (error == std::errc::no_such_file_or_directory) {
        why = "no such file (no entry has been stored there yet, or the path is wrong)";
    } else if (error == std::errc::permission_denied) {
        why = "permission denied";
    } else if (error == std::errc::is_a_directory) {
        why = "is a directory, not a log file";
    } else if (error == std::errc::invalid_argument) {
        why = "not a regular file";
    } else if (error == std::errc::device_or_resource_busy) {
        why = "still locked by a writer after " + std::to_string(lock_wait_ms / 1000) + " seconds";
    } else {
        why = error.message();
    }
    return path + ": " + why;
}

std::string slot_range(std::uint16_t from, std::uint16_t count) {
    if (count == 1) return "slot " + std::to_string(from);
    return "slots " + std::to_string(from) + " to " + std::to_string((from + count - 1) % store::slot_count);
}

void header_faults(const store::log_header &header, std::vector<fault> &faults) {
    const std::pair<std::string_view, std::uint16_t> fields[] = {
        {"first_slot", header.first_slot}, {"mark_slot", header.mark_slot}, {"next_slot", header.next_slot}};
    for (const auto &[name, value] : fields) {
        if (value >= store::slot_count) {
            faults.push_back({{}, "header field " + std::string(name) + " is " + std::to_string(value) +
                                      ", beyond the last slot 999"});
        }
    }
}

void record_faults(std::uint16_t slot, const log_image &image, std::vector<fault> &faults) {
    const store::log_record record = image.record(slot);
    const auto bytes = image.record_bytes(slot);
    auto add = [&](std::string what) { faults.push_back({slot, std::move(what)}); };
    if (record.record_tag != store::record_tag_value) {
        add("record tag is " + std::to_string(record.record_tag) + ", not 999");
    }
    if (record.line_count < 1 || record.line_count > store::line_slots) {
        add("line count is " + std::to_string(record.line_count) + ", not 1 to 3");
    }
    // Only the slots that carry lines have a meaning; the others may hold anything.
    const int lines = std::min<int>(record.line_count, store::line_slots);
    for (int i = 0; i < lines; ++i) {
        const std::size_t end = store::lines_offset + static_cast<std::size_t>(i) * store::line_slot_size +
                                store::line_text_max;
        if (bytes[end] != 0) add("line " + std::to_string(i + 1) + " has no NUL at byte 78 of its slot");
    }
    if (record.entry_type < 0 || record.entry_type > 4) {
        add("entry type is " + std::to_string(record.entry_type) + ", not 0 to 4");
    }
}

}  // namespace

log_image log_image::read(const std::string &path) {
    std::vector<std::uint8_t> bytes;
    const std::error_code error =
        platform::read_file_shared(path.c_str(), store::full_file_size + 1, lock_wait_ms, bytes);
    if (error) throw log_error(read_failure(path, error));
    return {path, std::move(bytes)};
}

store::log_header log_image::header() const {
    return store::decode_header(std::span<const std::uint8_t, store::header_size>(bytes_.data(), store::header_size));
}

std::span<const std::uint8_t, store::record_size> log_image::record_bytes(std::uint16_t slot) const {
    return std::span<const std::uint8_t, store::record_size>(bytes_.data() + store::slot_offset(slot),
                                                             store::record_size);
}

std::vector<fault> ring_faults(const log_image &image) {
    std::vector<fault> faults;
    if (image.size() == 0) {
        faults.push_back({{}, "the file is empty: no entry has been stored in it"});
        return faults;
    }
    if (!image.has_header()) {
        faults.push_back({{}, "the file is " + std::to_string(image.size()) + " bytes long, shorter than its " +
                                  std::to_string(store::header_size) + "-byte header"});
        return faults;
    }
    const store::log_header header = image.header();
    header_faults(header, faults);
    if (!faults.empty()) return faults;
    const std::uint16_t kept = store::kept_count(header);
    auto missing = [&](int i) { return !image.holds_slot(store::kept_slot(header, static_cast<std::uint16_t>(i))); };
    // One fault for each run of kept slots that lie beyond the end of the file.
    for (int i = 0; i < kept; ++i) {
        if (!missing(i)) continue;
        int run = 1;
        while (i + run < kept && missing(i + run)) ++run;
        const std::uint16_t slot = store::kept_slot(header, static_cast<std::uint16_t>(i));
        faults.push_back({slot, "the file ends at byte " + std::to_string(image.size()) + ", before kept " +
                                    slot_range(slot, static_cast<std::uint16_t>(run))});
        i += run - 1;
    }
    return faults;
}

std::vector<kept_record> kept_records(const log_image &image) {
    const std::vector<fault> faults = ring_faults(image);
    if (!faults.empty()) throw log_error(image.path() + ": " + describe(faults.front()));
    const store::log_header header = image.header();
    std::vector<kept_record> records;
    records.reserve(store::kept_count(header));
    for (std::uint16_t i = 0; i < store::kept_count(header); ++i) {
        const std::uint16_t slot = store::kept_slot(header, i);
        records.push_back({slot, image.record(slot)});
    }
    return records;
}

std::vector<fault> verify(const log_image &image) {
    std::vector<fault> faults = ring_faults(image);
    if (image.longer_than_full()) {
        faults.push_back({{}, "the file is longer than a full log of " + std::to_string(store::full_file_size) +
                                  " bytes"});
    } else if (image.has_header() && (image.size() - store::header_size) % store::record_size != 0) {
        faults.push_back({{}, "the file is " + std::to_string(image.size()) +
                                  " bytes long and ends inside a record (not 6 + 248 * n)"});
    }
    if (!image.has_header()) return faults;
    const store::log_header header = image.header();
    if (!store::header_in_range(header)) return faults;
    for (std::uint16_t i = 0; i < store::kept_count(header); ++i) {
        const std::uint16_t slot = store::kept_slot(header, i);
        if (image.holds_slot(slot)) record_faults(slot, image, faults);
    }
    return faults;
}

std::string describe(const fault &f) {
    return f.slot ? "slot " + std::to_string(*f.slot) + ": " + f.what : f.what;
}

}  // namespace zephlog::tools
