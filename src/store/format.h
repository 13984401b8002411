// The bytes of the log file, laid out in one place for the writer and every reader.
//
//   offset 0                  log_header (6 bytes)
//   offset 6 + 248 * s        log_record of slot s, s = 0..999
//
// All numbers are little-endian; there is no magic number and no version. The ring keeps the records from
// first_slot up to, not including, next_slot, wrapping from 999 to 0: at most 999 records, since the slot at
// next_slot never holds a kept one. A file shorter than a header reads as an empty ring at slot 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace zephlog::store {

inline constexpr std::size_t header_size = 6;
inline constexpr std::size_t record_size = 248;
inline constexpr std::uint16_t slot_count = 1000;
inline constexpr std::uint16_t max_kept = slot_count - 1;
inline constexpr std::size_t full_file_size = header_size + std::size_t{slot_count} * record_size;

inline constexpr int line_slots = 3;
inline constexpr std::size_t line_slot_size = 79;  // 78 characters and a NUL that is always there
inline constexpr std::size_t line_text_max = line_slot_size - 1;
inline constexpr std::uint16_t record_tag_value = 999;

// Offsets of the record's fields.
inline constexpr std::size_t time_offset = 0;
inline constexpr std::size_t type_offset = 4;
inline constexpr std::size_t line_count_offset = 5;
inline constexpr std::size_t number_offset = 6;
inline constexpr std::size_t tag_offset = 8;
inline constexpr std::size_t lines_offset = 10;
inline constexpr std::size_t reserved_offset = lines_offset + line_slots * line_slot_size;  // 247
static_assert(reserved_offset + 1 == record_size);

struct log_header {
    std::uint16_t first_slot = 0;  // the oldest record kept
    std::uint16_t mark_slot = 0;   // moved by the writer only when it points at the record being dropped
    std::uint16_t next_slot = 0;   // where the next record goes

    bool operator==(const log_header &) const = default;
};

struct log_record {
    std::int32_t entry_time = 0;
    std::int8_t entry_type = 0;
    std::uint8_t line_count = 0;
    std::uint16_t error_number = 0;
    std::uint16_t record_tag = record_tag_value;
    std::array<std::array<char, line_slot_size>, line_slots> lines{};  // each NUL-terminated, zero-filled
    std::uint8_t reserved = 0;

    // Line `index` as stored: up to its first NUL, at most 78 characters.
    std::string_view line(int index) const;
    bool operator==(const log_record &) const = default;
};

using header_bytes = std::array<std::uint8_t, header_size>;
using record_bytes = std::array<std::uint8_t, record_size>;

header_bytes encode_header(const log_header &header);
log_header decode_header(std::span<const std::uint8_t, header_size> bytes);
record_bytes encode_record(const log_record &record);
log_record decode_record(std::span<const std::uint8_t, record_size> bytes);

// Puts `text`, cut to 78 characters, into line slot `index`, zero-filled up to and including byte 78.
void set_line(log_record &record, int index, std::string_view text);

// --- Ring rules -------------------------------------------------------------------------------------------------

constexpr std::size_t slot_offset(std::uint16_t slot) { return header_size + std::size_t{slot} * record_size; }
constexpr std::uint16_t next_slot_after(std::uint16_t slot) {
    return static_cast<std::uint16_t>(slot + 1 == slot_count ? 0 : slot + 1);
}
constexpr bool header_in_range(const log_header &h) {
    return h.first_slot < slot_count && h.mark_slot < slot_count && h.next_slot < slot_count;
}
constexpr std::uint16_t kept_count(const log_header &h) {
    return static_cast<std::uint16_t>((h.next_slot + slot_count - h.first_slot) % slot_count);
}
constexpr bool is_empty(const log_header &h) { return h.first_slot == h.next_slot; }
constexpr bool is_full(const log_header &h) { return kept_count(h) == max_kept; }
// Makes room for one more record: when the ring is full, the oldest record is dropped (first_slot moves on), and
// mark_slot moves with it only when it pointed at that record. A ring that is not full is left as it is.
constexpr void make_room(log_header &h) {
    if (!is_full(h)) return;
    if (h.mark_slot == h.first_slot) h.mark_slot = next_slot_after(h.mark_slot);
    h.first_slot = next_slot_after(h.first_slot);
}
// The slot of the i-th kept record, oldest first.
constexpr std::uint16_t kept_slot(const log_header &h, std::uint16_t i) {
    return static_cast<std::uint16_t>((h.first_slot + i) % slot_count);
}

}  // namespace zephlog::store
