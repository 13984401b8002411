#include "store/format.h"

#include <algorithm>
#include <cstring>

namespace zephlog::store {
namespace {

void put16(std::uint8_t *at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t get16(const std::uint8_t *at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

void put32(std::uint8_t *at, std::uint32_t value) {
    put16(at, static_cast<std::uint16_t>(value));
    put16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint32_t get32(const std::uint8_t *at) { return get16(at) | static_cast<std::uint32_t>(get16(at + 2)) << 16; }

}  // namespace

std::string_view log_record::line(int index) const {
    const auto &slot = lines[static_cast<std::size_t>(index)];
    return {slot.data(), strnlen(slot.data(), line_text_max)};
}

header_bytes encode_header(const log_header &header) {
    header_bytes bytes{};
    put16(&bytes[0], header.first_slot);
    put16(&bytes[2], header.mark_slot);
    put16(&bytes[4], header.next_slot);
    return bytes;
}

log_header decode_header(std::span<const std::uint8_t, header_size> bytes) {
    return {get16(&bytes[0]), get16(&bytes[2]), get16(&bytes[4])};
}

record_bytes encode_record(const log_record &record) {
    record_bytes bytes{};
    put32(&bytes[time_offset], static_cast<std::uint32_t>(record.entry_time));
    bytes[type_offset] = static_cast<std::uint8_t>(record.entry_type);
    bytes[line_count_offset] = record.line_count;
    put16(&bytes[number_offset], record.error_number);
    put16(&bytes[tag_offset], record.record_tag);
    for (int i = 0; i < line_slots; ++i) {
        const auto &slot = record.lines[static_cast<std::size_t>(i)];
        std::memcpy(&bytes[lines_offset + static_cast<std::size_t>(i) * line_slot_size], slot.data(), slot.size());
    }
    bytes[reserved_offset] = record.reserved;
    return bytes;
}

log_record decode_record(std::span<const std::uint8_t, record_size> bytes) {
    log_record record;
    record.entry_time = static_cast<std::int32_t>(get32(&bytes[time_offset]));
    record.entry_type = static_cast<std::int8_t>(bytes[type_offset]);
    record.line_count = bytes[line_count_offset];
    record.error_number = get16(&bytes[number_offset]);
    record.record_tag = get16(&bytes[tag_offset]);
    for (int i = 0; i < line_slots; ++i) {
        auto &slot = record.lines[static_cast<std::size_t>(i)];
        std::memcpy(slot.data(), &bytes[lines_offset + static_cast<std::size_t>(i) * line_slot_size], slot.size());
    }
    record.reserved = bytes[reserved_offset];
    return record;
}

void set_line(log_record &record, int index, std::string_view text) {
    auto &slot = record.lines[static_cast<std::size_t>(index)];
    text = text.substr(0, line_text_max);
    std::copy(text.begin(), text.end(), slot.begin());
    std::fill(slot.begin() + static_cast<std::ptrdiff_t>(text.size()), slot.end(), '\0');
}

}  // namespace zephlog::store
