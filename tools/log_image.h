// One look at the log file: its bytes as read under the shared lock, and what they say.
#pragma once

#include "store/format.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace zephlog::tools {

// A file that cannot be read as a log; what() says why and names the file.
class log_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Something wrong with the file, at a slot or in the file as a whole.
struct fault {
    std::optional<std::uint16_t> slot;
    std::string what;
};

struct kept_record {
    std::uint16_t slot;
    store::log_record record;
};

class log_image {
public:
    // Reads the file at `path`. Throws log_error when it cannot be read at all: missing, unreadable, not a
    // regular file, or held by a writer for too long.
    static log_image read(const std::string &path);

    log_image(std::string path, std::vector<std::uint8_t> bytes) : path_(std::move(path)), bytes_(std::move(bytes)) {}

    const std::string &path() const { return path_; }
    std::size_t size() const { return bytes_.size(); }
    // At most one full log is read: a longer file shows as one byte more than that.
    bool longer_than_full() const { return bytes_.size() > store::full_file_size; }
    bool has_header() const { return bytes_.size() >= store::header_size; }
    store::log_header header() const;  // only when has_header()
    bool holds_slot(std::uint16_t slot) const { return store::slot_offset(slot) + store::record_size <= size(); }
    std::span<const std::uint8_t, store::record_size> record_bytes(std::uint16_t slot) const;  // only if held
    store::log_record record(std::uint16_t slot) const { return store::decode_record(record_bytes(slot)); }

private:
    std::string path_;
    std::vector<std::uint8_t> bytes_;
};

// What keeps the ring from being read: an empty file, one shorter than a header, a header field out of range, or
// a kept record beyond the end of the file. Empty when the kept records can be read.
std::vector<fault> ring_faults(const log_image &image);

// The kept records, oldest first. Throws log_error naming the first of ring_faults() when there is one.
std::vector<kept_record> kept_records(const log_image &image);

// Every fault of the file: ring_faults(), a size that is no whole number of records or more than a full log, and
// for each kept record a tag other than 999, a line count outside 1..3, a line slot without its closing NUL, or a
// type outside 0..4 (type 5 is fatal and never stored).
std::vector<fault> verify(const log_image &image);

std::string describe(const fault &f);

}  // namespace zephlog::tools
